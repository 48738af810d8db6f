#!/usr/bin/env bash
# Builds zmue, the reference peer and the end-to-end suite with AddressSanitizer (leak detection at
# exit included) and UndefinedBehaviorSanitizer, and runs the whole suite on a local directory, a
# zmp:// and a zmps:// mount of the peer and an ftp:// mount of proftpd. Every sanitized process
# writes its reports into one directory; any report there, or a failed suite, fails the run.
# The suite also checks that zmue holds as many descriptors at the end of each test as at its mount.
# Long (the suite four times, sanitized): not part of make test.
set -uo pipefail
build=${1:-build-asan-e2e}
jobs=${JOBS:-$(nproc)}
src=$(pwd)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DZM_SANITIZE=ON >/dev/null || exit 1
cmake --build "$build" -j "$jobs" --target zmue zmsd-peer e2e_mount_test ftp_e2e_runner || exit 1
build=$(cd "$build" && pwd)  # the suite starts zmue from its own working directory

reports=$(mktemp -d /tmp/zmue-asan-e2e.XXXXXX) || exit 1
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:log_path=$reports/asan:log_exe_name=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan:log_exe_name=1"
export LSAN_OPTIONS="log_path=$reports/lsan:log_exe_name=1"
suite=$build/tests/e2e/e2e_mount_test
peer=$build/tools/zmsd-peer/zmsd-peer
export ZM_E2E_ZMUE=$build/src/opt/zmue/zmue

failed=()
run() {  # name, command...
  local name=$1
  shift
  echo "== $name"
  if ! timeout 3000 "$@"; then failed+=("$name"); fi
}
run local "$suite"
run zmp sh "$src/tests/e2e/peer_run.sh" zmp "$peer" "$suite"
run zmps sh "$src/tests/e2e/peer_run.sh" zmps "$peer" "$suite"
run ftp "$build/tests/libvfs_ftp/ftp_e2e_runner" "$suite"

status=0
if [ -n "$(ls -A "$reports")" ]; then
  echo "sanitizer reports:"
  for f in "$reports"/*; do
    echo "--- $f"
    cat "$f"
  done
  status=1
else
  echo "no sanitizer report, no leak"
fi
if [ ${#failed[@]} -ne 0 ]; then
  echo "suite failed on: ${failed[*]}"
  status=1
fi
rm -rf "$reports"
exit $status
