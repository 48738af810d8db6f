#!/usr/bin/env bash
# Side-by-side benchmark on loopback: the raw directory, zmue over zmp:// and zmps:// of the
# reference peer, sshfs through the bench's own sshd, zmue over a local directory and bindfs,
# mounted together and measured in interleaved rounds; prints the median of each figure with the
# ratios of the goals (bench/README.md). Needs root, /dev/fuse, and about 2 GiB of scratch space.
#
# Usage: bench/run.sh [build dir]   (default: build-bench; it must hold zmue and zmsd-peer)
# Environment: BENCH_ROUNDS (3), BENCH_MB (512), BENCH_FILES (2000), BENCH_DIR (scratch parent,
#   /tmp), BENCH_TOOLS (where sshfs is unpacked, /var/tmp/zmue-bench-tools), BENCH_OUT (also
#   write the tables to this file), BENCH_TARGETS (subset of: raw zmp zmps sshfs local bindfs).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/common.sh"
. "$here/lib/deps.sh"
. "$here/lib/sshd.sh"
. "$here/lib/targets.sh"
. "$here/lib/figures.sh"

build=${1:-build-bench}
zmue="$build/src/opt/zmue/zmue"
peer="$build/tools/zmsd-peer/zmsd-peer"
[ -x "$zmue" ] && [ -x "$peer" ] || bench_die "$zmue or $peer not built"
zmue=$(realpath "$zmue")
peer=$(realpath "$peer")
[ "$(id -u)" -eq 0 ] || bench_die "needs root for the FUSE mounts and the cache drops"
rounds=${BENCH_ROUNDS:-3}
mb=${BENCH_MB:-512}
files=${BENCH_FILES:-2000}
targets=(${BENCH_TARGETS:-raw zmp zmps sshfs local bindfs})

bench_install_packages
sshfs=$(bench_sshfs_binary "${BENCH_TOOLS:-/var/tmp/zmue-bench-tools}")

work=$(mktemp -d "${BENCH_DIR:-/tmp}/zmue-bench-XXXXXX")
shm=$(mktemp -d /dev/shm/zmue-bench-XXXXXX)
cleanup() {
  bench_unlimit_lo
  bench_unmount_all
  rm -rf "$work" "$shm"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Written data comes from memory, so that the source never limits a target. The bulk data is
# random (no target gains from compressing it); the compressible file is copies of the source
# tree's tarball, a few thousand headers of this machine of about 40 MB.
src="$shm/random"
head -c 1M /dev/urandom >"$shm/block"
for _ in $(seq "$mb"); do cat "$shm/block"; done >"$src"
tarball="$work/source.tar"
tar -C /usr/include -cf "$tarball" c++ linux x86_64-linux-gnu llvm-14 2>/dev/null ||
  tar -C /usr/include -cf "$tarball" .
comp_src="$shm/compressible"
for _ in 1 2 3 4 5 6; do cat "$tarball"; done >"$comp_src"

bench_mount_raw
for t in "${targets[@]}"; do
  [ "$t" = raw ] || "bench_mount_$t"
done
has_zmp=
for t in "${targets[@]}"; do
  if [ "$t" = zmp ]; then has_zmp=1; fi
done
if [ -n "$has_zmp" ]; then bench_mount_zmp_none; fi

results="$work/results"
: >"$results"
for round in $(seq "$rounds"); do
  bench_log "round $round of $rounds (load: $(cut -d' ' -f1-3 /proc/loadavg))"
  for t in "${targets[@]}"; do
    bench_log "  $t"
    bench_figures "$t" >>"$results"
  done
  for t in zmp sshfs; do
    if [ -n "${bench_dir[$t]:-}" ]; then bench_copy_figures "$t" >>"$results"; fi
  done
  if [ -n "$has_zmp" ]; then
    bench_comp_figures zmp >>"$results"
    bench_comp_figures zmp_none >>"$results"
    bench_comp_link_figures >>"$results"
  fi
done

report="$work/report.md"
{
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "median of $rounds rounds; $mb MiB of random data; $files files; tarball $(du -m "$tarball" | cut -f1) MB, $(tar -tf "$tarball" | wc -l) entries"
  echo
  awk -v mb="$mb" -v files="$files" -f "$here/lib/report.awk" "$results"
} >"$report"
cat "$report"
if [ -n "${BENCH_OUT:-}" ]; then cp "$report" "$BENCH_OUT"; fi
