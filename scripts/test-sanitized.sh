#!/usr/bin/env bash
# Runs the tests of the code that reads network input (URL and INI parsing, sockets and proxies,
# TLS, credentials, compression, zmp messages and sessions) once more under AddressSanitizer and
# UndefinedBehaviorSanitizer, so that an overrun or undefined step fails the run.
set -euo pipefail
build=${1:-build-asan}
jobs=${JOBS:-$(nproc)}

targets=(pal_url_tests pal_comm_tests conf_tests zmcli_tests net_tests zmssl_tests pwd_tests
         pack_tests zmsd_tests zmsd-peer)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DZM_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]}"
cd "$build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs" --timeout 600 -E _NOT_BUILT -LE e2e
