# One round of figures on one target, printed as "target figure value" lines: sequential write
# with and without fsync (and the CPU its daemons spent), cold sequential reads in 1 MiB and
# 4 KiB pieces, small files, untar; the copy in and out (CPU per GiB moved, peak memory); the
# compressible transfer with its bytes on the wire. Sourced by bench/run.sh, which sets mb,
# files, src (incompressible data), comp_src (compressible data) and tarball.

# Runs "$@" and prints its wall-clock seconds.
bench_time() {
  local t
  t=$(bench_now)
  "$@"
  bench_elapsed "$t"
}

bench_rate() { bench_div "$1" "$2"; }

bench_sync_write() { dd if="$1" of="$2" bs=1M conv=fsync status=none; }
bench_plain_write() { dd if="$1" of="$2" bs=1M status=none; }
bench_read() { dd if="$1" of=/dev/null bs="$2" status=none; }

# CPU seconds of target $1's client daemon or server processes ($2: client or server), or
# nothing when the target has none.
bench_target_cpu() {
  local pids
  if [ "$2" = client ]; then
    pids="${bench_client[$1]:-} ${bench_helpers[$1]:-}"
  else
    pids=${bench_server[$1]:-}
  fi
  # shellcheck disable=SC2086
  if [ -n "${pids// /}" ]; then bench_cpu $pids; fi
}

# CPU seconds from reading $1 to reading $2, scaled by $3 (default 1); nothing without readings.
bench_cpu_delta() {
  if [ -n "$2" ]; then awk -v a="$2" -v b="$1" -v f="${3:-1}" 'BEGIN { printf "%.2f", (a - b) * f }'; fi
}

bench_small_files() {
  perl -e '
    my ($phase, $dir, $n) = @ARGV;
    my $data = "x" x 4096;
    for my $i (0 .. $n - 1) {
      my $f = "$dir/f$i";
      if ($phase eq "create") { open(my $h, ">", $f) or die "$f: $!"; print $h $data; close($h) or die "$f: $!"; }
      elsif ($phase eq "stat") { my @s = lstat($f) or die "$f: $!"; }
      elsif ($phase eq "read") { open(my $h, "<", $f) or die "$f: $!"; local $/; my $c = <$h>; close($h); }
      else { unlink($f) or die "$f: $!"; }
    }' "$@"
}

bench_untar() {
  tar -C "$1" -xf "$tarball"
  sync
}

bench_figures() {
  local name=$1 dir=${bench_dir[$1]} t c0 s0 c1 s1 phase
  rm -f "$dir/seq"
  sync
  c0=$(bench_target_cpu "$name" client)
  s0=$(bench_target_cpu "$name" server)
  t=$(bench_time bench_sync_write "$src" "$dir/seq")
  c1=$(bench_target_cpu "$name" client)
  s1=$(bench_target_cpu "$name" server)
  echo "$name write_sync $(bench_rate "$mb" "$t")"
  # Per 512 MiB, whatever size was written.
  local per_512=$(bench_div 512 "$mb")
  if [ -n "$c0" ]; then echo "$name cpu_client $(bench_cpu_delta "$c0" "$c1" "$per_512")"; fi
  if [ -n "$s0" ]; then echo "$name cpu_server $(bench_cpu_delta "$s0" "$s1" "$per_512")"; fi
  rm -f "$dir/seq"
  sync
  t=$(bench_time bench_plain_write "$src" "$dir/seq")
  echo "$name write_plain $(bench_rate "$mb" "$t")"
  bench_drop_caches
  t=$(bench_time bench_read "$dir/seq" 1M)
  echo "$name read_1m $(bench_rate "$mb" "$t")"
  bench_drop_caches
  t=$(bench_time bench_read "$dir/seq" 4k)
  echo "$name read_4k $(bench_rate "$mb" "$t")"
  rm -f "$dir/seq"

  mkdir "$dir/small"
  for phase in create stat read delete; do
    if [ "$phase" = stat ]; then bench_drop_caches; fi
    t=$(bench_time bench_small_files "$phase" "$dir/small" "$files")
    echo "$name files_$phase $(bench_rate "$files" "$t")"
  done
  rmdir "$dir/small"

  mkdir "$dir/untar"
  echo "$name untar $(bench_time bench_untar "$dir/untar")"
  rm -rf "$dir/untar"
}

# A 512 MiB file copied in with cp, caches dropped, copied out to the raw directory: the client
# and server CPU per GiB moved, and zmue's peak memory over both copies.
bench_copy_figures() {
  local name=$1 dir=${bench_dir[$1]} t c0 s0 c1 s1
  local pid=${bench_client[$1]}
  local out="${bench_dir[raw]}/copy_out"
  rm -f "$dir/copy_in" "$out"
  sync
  if [ "$name" != sshfs ]; then bench_reset_peak "$pid"; fi
  c0=$(bench_target_cpu "$name" client)
  s0=$(bench_target_cpu "$name" server)
  t=$(bench_time cp "$src" "$dir/copy_in")
  echo "$name copy_in $(bench_rate "$mb" "$t")"
  bench_drop_caches
  t=$(bench_time cp "$dir/copy_in" "$out")
  echo "$name copy_out $(bench_rate "$mb" "$t")"
  c1=$(bench_target_cpu "$name" client)
  s1=$(bench_target_cpu "$name" server)
  # 2 x mb MiB moved; per GiB.
  local per_gib
  per_gib=$(bench_div 512 "$mb")
  echo "$name copy_cpu_client $(bench_cpu_delta "$c0" "$c1" "$per_gib")"
  echo "$name copy_cpu_server $(bench_cpu_delta "$s0" "$s1" "$per_gib")"
  if [ "$name" != sshfs ]; then echo "$name peak_rss $(awk -v k="$(bench_peak_kib "$pid")" 'BEGIN { printf "%.1f", k / 1024 }')"; fi
  rm -f "$dir/copy_in" "$out"
}

# The compressible file written with fsync and read back cold, as figures comp_write$2 and
# comp_read$2, and the TCP payload bytes of both transfers on the session's socket (comp_wire$2).
bench_comp_figures() {
  local name=$1 suffix=${2:-} dir=${bench_dir[$1]} t w0 w1
  local size_mb
  size_mb=$(awk -v b="$(stat -c %s "$comp_src")" 'BEGIN { printf "%.3f", b / 1048576 }')
  rm -f "$dir/comp"
  sync
  w0=$(bench_wire_bytes "${bench_client[$name]}" "$bench_zmp_port")
  t=$(bench_time bench_sync_write "$comp_src" "$dir/comp")
  echo "$name comp_write$suffix $(bench_rate "$size_mb" "$t")"
  bench_drop_caches
  t=$(bench_time bench_read "$dir/comp" 1M)
  echo "$name comp_read$suffix $(bench_rate "$size_mb" "$t")"
  w1=$(bench_wire_bytes "${bench_client[$name]}" "$bench_zmp_port")
  echo "$name comp_wire$suffix $(awk -v a="$w0" -v b="$w1" 'BEGIN { printf "%.1f", (b - a) / 1048576 }')"
  rm -f "$dir/comp"
}

# The same over loopback held to 1 Gbit/s, a link slower than LZ4 on this kind of machine, where
# compression is meant to pay; loopback is given its full speed back at once.
bench_comp_link_figures() {
  bench_limit_lo 1gbit || return 0
  bench_comp_figures zmp _1g
  bench_comp_figures zmp_none _1g
  bench_unlimit_lo
}
