# The compared targets: the raw directory, zmue over zmp:// and zmps:// of the reference peer,
# sshfs through the bench's sshd, zmue over a local directory, bindfs; and a zmp:// mount with
# the "none" compressor for the compression figures. Each target is a directory under the
# scratch directory; its client daemon and server processes are kept by PID for the CPU
# figures and stopped by PID. bench_helpers holds processes that count as part of a client
# without being its children (the ssh that sshfs starts and leaves to init). Sourced by bench/run.sh (which sets zmue, peer, sshfs, work).

declare -A bench_dir bench_client bench_helpers bench_server
bench_peer_pids=()

# Starts a reference peer over $2 (TLS when $3 is "tls"); sets bench_peer_port and bench_peer_pid.
bench_peer_start() {
  local name=$1 back=$2 tls=()
  mkdir -p "$back"
  if [ "${3:-}" = tls ]; then
    openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 \
      -keyout "$work/$name.key" -out "$work/$name.crt" 2>/dev/null
    tls=(--tls-cert "$work/$name.crt" --tls-key "$work/$name.key")
  fi
  "$peer" -P "$work/$name.port" "${tls[@]}" "$back" >"$work/$name.out" 2>"$work/$name.err" &
  bench_peer_pid=$!
  bench_peer_pids+=("$bench_peer_pid")
  bench_wait_file "$work/$name.port" || bench_die "peer $name did not start"
  bench_peer_port=$(cat "$work/$name.port")
}

# zmue serving URL $2 at target $1's mount point.
bench_zmue_mount() {
  local name=$1 url=$2 mnt="$work/mnt/$1"
  mkdir -p "$mnt"
  "$zmue" -q -l warn -u "$url" -m "$mnt" -r options=rw </dev/null >"$work/$name.log" 2>&1 &
  bench_client[$name]=$!
  bench_wait_mounted "$mnt" "${bench_client[$name]}" || bench_die "zmue mount $name failed"
  bench_dir[$name]=$mnt
}

bench_mount_raw() {
  mkdir -p "$work/raw"
  bench_dir[raw]="$work/raw"
}

bench_mount_zmp() {
  bench_peer_start zmp "$work/back/zmp"
  bench_zmp_port=$bench_peer_port
  bench_server[zmp]=$bench_peer_pid
  bench_zmue_mount zmp "zmp://127.0.0.1:$bench_zmp_port/"
}

# Needs the zmp target's peer: a second session to it that moves file data uncompressed.
bench_mount_zmp_none() {
  bench_server[zmp_none]=${bench_server[zmp]}
  bench_zmue_mount zmp_none "zmp://127.0.0.1:$bench_zmp_port/?pack=none"
}

bench_mount_zmps() {
  bench_peer_start zmps "$work/back/zmps" tls
  bench_server[zmps]=$bench_peer_pid
  bench_zmue_mount zmps "zmps://127.0.0.1:$bench_peer_port/"
}

bench_mount_local() {
  mkdir -p "$work/back/local"
  bench_zmue_mount local "$work/back/local"
}

bench_mount_sshfs() {
  local mnt="$work/mnt/sshfs"
  mkdir -p "$work/back/sshfs" "$mnt"
  bench_sshd_start "$work/sshd"
  bench_server[sshfs]=$bench_sshd_pid
  "$sshfs" -f "root@127.0.0.1:$work/back/sshfs" "$mnt" -p "$bench_sshd_port" \
    -o "IdentityFile=$bench_ssh_key,StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,BatchMode=yes" \
    </dev/null >"$work/sshfs.log" 2>&1 &
  bench_client[sshfs]=$!
  bench_wait_mounted "$mnt" "${bench_client[sshfs]}" || {
    cat "$work/sshfs.log" >&2
    bench_die "sshfs mount failed"
  }
  bench_dir[sshfs]=$mnt
  bench_helpers[sshfs]=$(pgrep -f -- "^ssh .*IdentityFile=$bench_ssh_key" | tr '\n' ' ')
}

bench_mount_bindfs() {
  local mnt="$work/mnt/bindfs"
  mkdir -p "$work/back/bindfs" "$mnt"
  bindfs -f "$work/back/bindfs" "$mnt" </dev/null >"$work/bindfs.log" 2>&1 &
  bench_client[bindfs]=$!
  bench_wait_mounted "$mnt" "${bench_client[bindfs]}" || bench_die "bindfs mount failed"
  bench_dir[bindfs]=$mnt
}

# Unmounts every FUSE target, then stops the peers and sshd; safe to call more than once.
bench_unmount_all() {
  local name pid
  for name in "${!bench_client[@]}"; do
    pid=${bench_client[$name]}
    if bench_is_mounted "$work/mnt/$name"; then
      case $name in
        sshfs | bindfs) umount "$work/mnt/$name" || umount -l "$work/mnt/$name" ;;
        *) kill -TERM "$pid" 2>/dev/null ;;
      esac
    fi
    if kill -0 "$pid" 2>/dev/null; then
      timeout 20 tail --pid="$pid" -f /dev/null || kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null || true
    bench_is_mounted "$work/mnt/$name" && umount -l "$work/mnt/$name"
    unset "bench_client[$name]"
  done
  for pid in "${bench_peer_pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  bench_peer_pids=()
  bench_sshd_stop
}
