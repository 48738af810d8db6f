#!/usr/bin/env bash
# Installs what the mipsel cross build needs on a Debian 12 host, only what is still missing: the
# cross toolchain and user-mode qemu as packages, and the mipsel builds of libfuse 2, mbed TLS and
# LZ4 unpacked into a prefix of their own. Needs root and Debian's package mirror; refuses to go
# on if apt would remove a host package.
set -euo pipefail

# Where the mipsel libraries are unpacked; cmake/toolchain-mipsel.cmake reads the same default.
prefix=${ZM_CROSS_PREFIX:-/opt/zm-cross/mipsel}
libdir=$prefix/usr/lib/mipsel-linux-gnu

packages=(crossbuild-essential-mipsel qemu-user-static)
# A mipsel -dev package and the archive that shows it is unpacked.
unpacked=("libfuse-dev libfuse.a" "libmbedtls-dev libmbedtls.a" "liblz4-dev liblz4.a")

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "need root to install the mipsel packages" >&2
    exit 1
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
to_unpack=()
for entry in "${unpacked[@]}"; do
  read -r pkg archive <<<"$entry"
  [ -f "$libdir/$archive" ] || to_unpack+=("$pkg:mipsel")
done
[ ${#missing[@]} -eq 0 ] && [ ${#to_unpack[@]} -eq 0 ] && exit 0

need_root
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx mipsel; then
  dpkg --add-architecture mipsel
fi
apt-get update -qq

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  if apt-get -s install --no-install-recommends "${missing[@]}" | grep -q '^Remv'; then
    echo "installing ${missing[*]} would remove host packages; not done:" >&2
    apt-get -s install --no-install-recommends "${missing[@]}" | grep '^Remv' >&2
    exit 1
  fi
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Installing the mipsel libraries through apt pulls in libc6:mipsel (and, for libfuse-dev's SELinux
# dependency, libpcre2), which must match the host's version; where the security archive, which
# builds no mipsel, holds a newer libc6 or libpcre2 than the mipsel archive, apt finds no solution.
# The static link needs only the archives, headers and pkg-config files, so the packages are
# unpacked instead of installed.
if [ ${#to_unpack[@]} -gt 0 ]; then
  echo "unpacking ${to_unpack[*]} into $prefix"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  chown _apt "$work" 2>/dev/null || true
  (cd "$work" && apt-get download -qq "${to_unpack[@]}")
  mkdir -p "$prefix"
  for deb in "$work"/*.deb; do dpkg-deb -x "$deb" "$prefix"; done
  # Their .so links point into the runtime packages, which are not there: only archives remain.
  find "$libdir" -maxdepth 1 -name '*.so' -xtype l -delete
  sed -i -e "s|^prefix=.*|prefix=$prefix/usr|" -e 's|^libdir=/usr|libdir=${prefix}|' \
    -e 's|^includedir=/usr|includedir=${prefix}|' "$libdir"/pkgconfig/*.pc
fi
