#!/usr/bin/env bash
# Measures a local directory raw and through a zmue mount of it (and through bindfs when that is
# installed), side by side in one run: sequential write and read of a 512 MiB file (caches
# dropped before the read), 2000 small files created, stat'ed, read and deleted, and the untar
# of a source tarball. Prints each figure and the ratio to raw. Needs root and /dev/fuse.
#
# Usage: bench/local_mount.sh [build dir]   (default: build)
# Environment: BENCH_DIR (scratch, default /tmp), BENCH_MB (default 512), BENCH_FILES (2000),
#              BENCH_TARBALL (default: a tarball of /usr/include/c++ made once).
set -euo pipefail

build=${1:-build}
zmue="$build/src/opt/zmue/zmue"
[ -x "$zmue" ] || { echo "bench: $zmue not built" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "bench: needs root for the FUSE mount" >&2; exit 1; }
mb=${BENCH_MB:-512}
files=${BENCH_FILES:-2000}

work=$(mktemp -d "${BENCH_DIR:-/tmp}/zmue-bench-XXXXXX")
zmue_pid=
cleanup() {
  for m in "$work/zmue" "$work/bindfs"; do
    grep -q " $m fuse" /proc/mounts && umount -l "$m"
  done
  if [ -n "$zmue_pid" ] && kill -0 "$zmue_pid" 2>/dev/null; then kill -TERM "$zmue_pid"; fi
  rm -rf "$work"
}
trap cleanup EXIT

tarball=${BENCH_TARBALL:-$work/source.tar}
[ -f "$tarball" ] || tar -C /usr/include -cf "$tarball" c++

drop_caches() {
  sync
  echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || echo "bench: cannot drop caches" >&2
}

now() { date +%s.%N; }
elapsed() { awk -v a="$(now)" -v b="$1" 'BEGIN { printf "%.3f", a - b }'; }
div() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b > 0 ? a / b : 0) }'; }

wait_mounted() {
  for _ in $(seq 100); do
    grep -q " $1 fuse" /proc/mounts && return 0
    sleep 0.1
  done
  echo "bench: $1 not mounted" >&2
  return 1
}

# One target directory: prints "name seconds" for every measurement.
measure() {
  local dir=$1 t
  t=$(now)
  dd if=/dev/zero of="$dir/seq" bs=1M count="$mb" conv=fsync status=none
  echo "seq_write $(elapsed "$t")"
  drop_caches
  t=$(now)
  dd if="$dir/seq" of=/dev/null bs=1M status=none
  echo "seq_read $(elapsed "$t")"
  rm -f "$dir/seq"

  mkdir "$dir/small"
  local phase
  for phase in create stat read delete; do
    t=$(now)
    perl -e '
      my ($phase, $dir, $n) = @ARGV;
      my $data = "x" x 1024;
      for my $i (0 .. $n - 1) {
        my $f = "$dir/f$i";
        if ($phase eq "create") { open(my $h, ">", $f) or die "$f: $!"; print $h $data; close($h) or die "$f: $!"; }
        elsif ($phase eq "stat") { my @s = lstat($f) or die "$f: $!"; }
        elsif ($phase eq "read") { open(my $h, "<", $f) or die "$f: $!"; local $/; my $c = <$h>; close($h); }
        else { unlink($f) or die "$f: $!"; }
      }' "$phase" "$dir/small" "$files"
    echo "files_$phase $(elapsed "$t")"
  done
  rmdir "$dir/small"

  mkdir "$dir/untar"
  t=$(now)
  tar -C "$dir/untar" -xf "$tarball"
  sync
  echo "untar $(elapsed "$t")"
  rm -rf "$dir/untar"
}

mkdir "$work/raw" "$work/zmue_back" "$work/zmue"
echo "bench: raw directory $work/raw"
measure "$work/raw" > "$work/raw.txt"

echo "bench: zmue mount of $work/zmue_back"
"$zmue" -q -l warn -u "$work/zmue_back" -m "$work/zmue" -r options=rw </dev/null >"$work/zmue.log" 2>&1 &
zmue_pid=$!
wait_mounted "$work/zmue"
measure "$work/zmue" > "$work/zmue.txt"
kill -TERM "$zmue_pid"
wait "$zmue_pid" || true
zmue_pid=

columns=(raw zmue)
if command -v bindfs >/dev/null; then
  mkdir "$work/bindfs_back" "$work/bindfs"
  echo "bench: bindfs mount of $work/bindfs_back"
  bindfs "$work/bindfs_back" "$work/bindfs"
  wait_mounted "$work/bindfs"
  measure "$work/bindfs" > "$work/bindfs.txt"
  umount "$work/bindfs"
  columns+=(bindfs)
fi

value() { awk -v k="$2" '$1 == k { print $2 }' "$work/$1.txt"; }

printf '\n%-14s %12s' "measure" "raw"
for c in "${columns[@]:1}"; do printf ' %12s %9s' "$c" "$c/raw"; done
printf '\n'
for key in seq_write seq_read files_create files_stat files_read files_delete untar; do
  raw=$(value raw "$key")
  printf '%-14s %11.3fs' "$key" "$raw"
  for c in "${columns[@]:1}"; do
    v=$(value "$c" "$key")
    printf ' %11.3fs %8.2fx' "$v" "$(div "$v" "$raw")"
  done
  printf '\n'
done
for key in seq_write seq_read; do
  printf '%-14s' "$key MB/s"
  for c in "${columns[@]}"; do printf ' %s=%.1f' "$c" "$(div "$mb" "$(value "$c" "$key")")"; done
  printf '\n'
done
echo "(times in seconds; ratio > 1 means slower than raw; $mb MiB sequential, $files small files, tarball $(du -h "$tarball" | cut -f1))"
