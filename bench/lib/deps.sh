# What the comparison targets need: openssh-server, bindfs and the libfuse 3 library from Debian,
# and Debian's sshfs unpacked into the bench's own tool directory. Installing the sshfs package
# would replace the fuse package (libfuse 2's mount helper) with fuse3, which the tests rely on,
# so it is only unpacked; as root, libfuse 3 mounts without its helper. Sourced by bench/run.sh.

bench_packages=(openssh-server bindfs libfuse3-3)

bench_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# Installs the missing packages, refusing when apt would remove anything. An sshd that the
# package starts is stopped and disabled: only the bench's own sshd may run on loopback.
bench_install_packages() {
  local missing=() p
  for p in "${bench_packages[@]}"; do bench_installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  bench_log "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  if apt-get -s install --no-install-recommends "${missing[@]}" | grep -q '^Remv'; then
    bench_die "installing ${missing[*]} would remove packages; install them by hand"
  fi
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  if bench_installed openssh-server; then
    systemctl disable --now ssh >/dev/null 2>&1 || true
    [ -x /etc/init.d/ssh ] && /etc/init.d/ssh stop >/dev/null 2>&1
    update-rc.d ssh disable >/dev/null 2>&1 || true
  fi
}

# Prints the path of the unpacked sshfs binary, fetching it into $1 when it is not there yet.
bench_sshfs_binary() {
  local dir=$1
  local bin="$dir/sshfs/usr/bin/sshfs"
  if [ ! -x "$bin" ]; then
    mkdir -p "$dir"
    (cd "$dir" && rm -f sshfs_*.deb && apt-get download sshfs >/dev/null 2>&1) ||
      bench_die "apt-get download sshfs failed"
    dpkg -x "$dir"/sshfs_*.deb "$dir/sshfs"
  fi
  echo "$bin"
}
