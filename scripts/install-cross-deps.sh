#!/usr/bin/env bash
# Installs what the mipsel cross build needs on a Debian 12 host, only what is still missing: the
# cross toolchain, user-mode qemu, and the mipsel builds of mbed TLS, LZ4 and libfuse 2.
# Needs root and Debian's package mirror; refuses to go on if apt would remove a host package.
set -euo pipefail

# Where the mipsel libfuse-dev is unpacked; cmake/toolchain-mipsel.cmake reads the same default.
prefix=${ZM_CROSS_PREFIX:-/opt/zm-cross/mipsel}

packages=(crossbuild-essential-mipsel qemu-user-static libmbedtls-dev:mipsel liblz4-dev:mipsel)

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

if [ ${#missing[@]} -gt 0 ] || [ ! -f "$prefix/usr/lib/mipsel-linux-gnu/libfuse.a" ]; then
  need_root
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx mipsel; then
    dpkg --add-architecture mipsel
  fi
  apt-get update -qq
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  if apt-get -s install --no-install-recommends "${missing[@]}" | grep -q '^Remv'; then
    echo "installing ${missing[*]} would remove host packages; not done:" >&2
    apt-get -s install --no-install-recommends "${missing[@]}" | grep '^Remv' >&2
    exit 1
  fi
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# libfuse-dev:mipsel depends on libselinux1-dev:mipsel and so on libpcre2-dev:mipsel, which must have
# the host's exact version; the host's comes from the security archive, which builds no mipsel, so
# apt cannot install it. Our static link needs only its archive, headers and pkg-config file (the
# archive calls nothing of SELinux), so the Debian package is unpacked into a prefix of its own.
if [ ! -f "$prefix/usr/lib/mipsel-linux-gnu/libfuse.a" ]; then
  echo "unpacking libfuse-dev:mipsel into $prefix"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  chown _apt "$work" 2>/dev/null || true
  (cd "$work" && apt-get download -qq libfuse-dev:mipsel)
  mkdir -p "$prefix"
  dpkg-deb -x "$work"/libfuse-dev_*_mipsel.deb "$prefix"
  sed -i -e "s|^prefix=.*|prefix=$prefix/usr|" -e 's|^libdir=/usr|libdir=${prefix}|' \
    "$prefix/usr/lib/mipsel-linux-gnu/pkgconfig/fuse.pc"
fi
