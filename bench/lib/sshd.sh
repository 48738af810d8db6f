# The bench's own sshd for the sshfs target: its own configuration, port, host key and a
# throw-away client key for root@127.0.0.1, all inside one scratch directory; started and stopped
# by PID. The system's sshd configuration and root's authorized keys are never touched.
# Sourced by bench/run.sh.

bench_sshd_pid=
bench_sshd_made_run_dir=

# Starts sshd for scratch directory $1 on a free port; sets bench_sshd_port and bench_ssh_key.
bench_sshd_start() {
  local dir=$1
  mkdir -p "$dir"
  ssh-keygen -q -t ed25519 -N '' -f "$dir/host_key"
  ssh-keygen -q -t ed25519 -N '' -f "$dir/client_key"
  cp "$dir/client_key.pub" "$dir/authorized_keys"
  bench_sshd_port=$(bench_free_port) || bench_die "no free port for sshd"
  bench_ssh_key="$dir/client_key"
  cat >"$dir/sshd_config" <<EOF
Port $bench_sshd_port
ListenAddress 127.0.0.1
HostKey $dir/host_key
PidFile $dir/sshd.pid
AuthorizedKeysFile $dir/authorized_keys
PermitRootLogin prohibit-password
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
Subsystem sftp /usr/lib/openssh/sftp-server
EOF
  # sshd refuses to start without its privilege separation directory.
  if [ ! -d /run/sshd ]; then
    mkdir -m 0755 /run/sshd
    bench_sshd_made_run_dir=1
  fi
  /usr/sbin/sshd -D -f "$dir/sshd_config" -E "$dir/sshd.log" &
  bench_sshd_pid=$!
  local i
  for i in $(seq 100); do
    ss -Hltn "( sport = :$bench_sshd_port )" | grep -q . && return 0
    kill -0 "$bench_sshd_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$dir/sshd.log" >&2
  bench_die "sshd did not start"
}

bench_sshd_stop() {
  if [ -n "$bench_sshd_pid" ] && kill -0 "$bench_sshd_pid" 2>/dev/null; then
    kill -TERM "$bench_sshd_pid"
    wait "$bench_sshd_pid" 2>/dev/null || true
  fi
  bench_sshd_pid=
  if [ -n "$bench_sshd_made_run_dir" ]; then
    rmdir /run/sshd 2>/dev/null || true
    bench_sshd_made_run_dir=
  fi
}
