#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, only those still missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libfuse-dev fuse libmbedtls-dev liblz4-dev googletest libgtest-dev
  socat attr tmux tcpdump
  openssl
  tinyproxy dante-server microsocks
  proftpd-core
  clang libclang-rt-14-dev
  rsync git sqlite3
  man-db groff-base
  ccache
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "need root to install packages" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
# The tests run their own proxy and FTP servers on free ports of 127.0.0.1; the system services that
# these packages may have started are not used, so they are stopped and kept from starting again.
for svc in tinyproxy danted proftpd; do
  systemctl disable --now "$svc" >/dev/null 2>&1 || service "$svc" stop >/dev/null 2>&1 || true
done
