# Shared pieces of the benchmark scripts: clock, cache dropping, mount waits, CPU and memory of
# running processes. Sourced by bench/run.sh; assumes bash, root and a Linux /proc.

bench_now() { date +%s.%N; }

# Seconds since a bench_now reading, to the millisecond.
bench_elapsed() { awk -v a="$(bench_now)" -v b="$1" 'BEGIN { printf "%.3f", a - b }'; }

bench_div() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b > 0 ? a / b : 0) }'; }

bench_log() { echo "bench: $*" >&2; }

bench_die() {
  bench_log "$*"
  exit 1
}

# Empties the page, dentry and inode caches, so that the next access goes to the file system
# (and, through a FUSE mount, to its daemon).
bench_drop_caches() {
  sync
  echo 3 >/proc/sys/vm/drop_caches || bench_log "cannot drop caches"
}

bench_is_mounted() { awk -v m="$1" '$2 == m { found = 1 } END { exit !found }' /proc/mounts; }

# Waits up to 10 s for a FUSE mount at $1 while process $2 lives.
bench_wait_mounted() {
  local i
  for i in $(seq 100); do
    bench_is_mounted "$1" && return 0
    kill -0 "$2" 2>/dev/null || break
    sleep 0.1
  done
  bench_log "$1 not mounted"
  return 1
}

# Waits up to 10 s for a file to hold something (a port file, a pid file).
bench_wait_file() {
  local i
  for i in $(seq 100); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  bench_log "$1 never appeared"
  return 1
}

# The process and every descendant of it, one pid a line.
bench_tree() {
  local p
  echo "$1"
  for p in $(pgrep -P "$1"); do bench_tree "$p"; done
}

# CPU seconds (user + system) spent so far by the given processes and their descendants. Only
# living processes count, so every measured daemon must outlive the measurement.
bench_cpu() {
  local pids=() p
  for p in "$@"; do pids+=($(bench_tree "$p")); done
  local hz
  hz=$(getconf CLK_TCK)
  for p in "${pids[@]}"; do
    # Field 2 (the command name) may hold blanks; count from the closing parenthesis.
    sed -e 's/^.*) //' "/proc/$p/stat" 2>/dev/null || true
  done | awk -v hz="$hz" '{ t += $12 + $13 } END { printf "%.2f", t / hz }'
}

# Peak resident memory of a process in KiB since it started or since bench_reset_peak.
bench_peak_kib() { awk '/^VmHWM:/ { print $2 }' "/proc/$1/status"; }

bench_reset_peak() { echo 5 >"/proc/$1/clear_refs"; }

# TCP payload bytes that process $1 sent and received so far on its connections to port $2.
bench_wire_bytes() {
  ss -tinpH state established "( dport = :$2 )" 2>/dev/null | awk -v pid="pid=$1," '
    index($0, pid) { mine = 1; next }
    mine {
      for (i = 1; i <= NF; ++i) {
        if ($i ~ /^bytes_acked:/) { split($i, a, ":"); t += a[2] }
        if ($i ~ /^bytes_received:/) { split($i, a, ":"); t += a[2] }
      }
      mine = 0
    }
    END { printf "%.0f", t }'  # mawk's %d stops at 2^31 - 1: a long run's counters pass it
}

# A free TCP port on 127.0.0.1, chosen at random below the kernel's ephemeral ports (so that no
# outgoing connection holds it) and used by no socket at all.
bench_free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 12000))
    ss -Htan "( sport = :$port )" | grep -q . || {
      echo "$port"
      return 0
    }
  done
  return 1
}

# Holds loopback to rate $1 (a tc rate: 1gbit) with a token bucket, so that compression can be
# measured on a link slower than the compressor. Refuses (status 1) when lo already has a queueing
# discipline of its own, which the bench must not replace.
bench_limit_lo() {
  command -v tc >/dev/null || { bench_log "no tc: the rate-limited figures are left out"; return 1; }
  if ! tc qdisc show dev lo | grep -q '^qdisc noqueue 0: root'; then
    bench_log "lo has a queueing discipline of its own: the rate-limited figures are left out"
    return 1
  fi
  bench_lo_limited=1
  tc qdisc add dev lo root tbf rate "$1" burst 1mb latency 50ms
}

# Gives loopback its full speed back; safe to call when it was never limited.
bench_unlimit_lo() {
  if [ -n "${bench_lo_limited:-}" ]; then
    tc qdisc del dev lo root 2>/dev/null || true
    bench_lo_limited=
  fi
}
