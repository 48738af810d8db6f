#!/usr/bin/env bash
# `make demo`: mounts a small local tree through zmue, works in it through the kernel mount,
# stops zmue with SIGTERM and shows the mount gone. Needs root (FUSE mounts are root's here)
# and the program built in the build directory given as $1 (default: build).
set -euo pipefail

build=${1:-build}
zmue="$build/src/opt/zmue/zmue"
[ -x "$zmue" ] || { echo "demo: $zmue not built; run make first" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "demo: zmue mounts as root; run make demo as root" >&2; exit 1; }

work=$(mktemp -d /tmp/zmue-demo-XXXXXX)
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -TERM "$pid"; wait "$pid" || true; fi
  if grep -q " $work/mnt " /proc/mounts; then umount -l "$work/mnt"; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/src"
echo "hello from the source tree" > "$work/src/hello.txt"
mkdir "$work/src/docs"
echo "notes" > "$work/src/docs/notes.txt"

echo "== zmue -u $work/src -m $work/mnt -r options=rw"
"$zmue" -q -l warn -u "$work/src" -m "$work/mnt" -r options=rw </dev/null &
pid=$!
for _ in $(seq 50); do
  grep -q " $work/mnt fuse" /proc/mounts && break
  kill -0 "$pid" 2>/dev/null || { echo "demo: zmue ended before mounting" >&2; exit 1; }
  sleep 0.1
done
grep " $work/mnt fuse" /proc/mounts || { echo "demo: not mounted after 5 s" >&2; exit 1; }

echo "== ls -lR $work/mnt"
ls -lR "$work/mnt"
echo "== cat mnt/hello.txt"
cat "$work/mnt/hello.txt"
echo "== write mnt/new.txt through the mount, read it back from the source tree"
echo "written through FUSE" > "$work/mnt/new.txt"
cat "$work/src/new.txt"

echo "== kill -TERM $pid"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
echo "zmue exit status: $status"
if grep -q " $work/mnt " /proc/mounts; then echo "demo: still mounted" >&2; exit 1; fi
echo "== $work/mnt is unmounted"
