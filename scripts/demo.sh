#!/usr/bin/env bash
# `make demo`: starts the reference peer (zmsd-peer) on 127.0.0.1 over a sample directory, mounts
# it with zmue over zmp://, lists it and writes a file through the kernel mount that then shows up
# in the served directory; stops zmue with SIGTERM and the peer by PID. Then the same in short for
# a local directory. Needs root (FUSE mounts are root's here) and the programs built in the build
# directory given as $1 (default: build).
set -euo pipefail

build=${1:-build}
zmue="$build/src/opt/zmue/zmue"
peer="$build/tools/zmsd-peer/zmsd-peer"
for program in "$zmue" "$peer"; do
  [ -x "$program" ] || { echo "demo: $program not built; run make first" >&2; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "demo: zmue mounts as root; run make demo as root" >&2; exit 1; }

work=$(mktemp -d /tmp/zmue-demo-XXXXXX)
zmue_pid=
peer_pid=
stop_zmue() {
  if [ -n "$zmue_pid" ] && kill -0 "$zmue_pid" 2>/dev/null; then kill -TERM "$zmue_pid"; wait "$zmue_pid" || true; fi
  zmue_pid=
}
cleanup() {
  stop_zmue
  if grep -q " $work/mnt " /proc/mounts; then umount -l "$work/mnt"; fi
  if [ -n "$peer_pid" ]; then kill -TERM "$peer_pid" 2>/dev/null || true; wait "$peer_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Starts zmue on the URL $1 at $work/mnt and waits (at most 5 s) for the kernel mount.
mount_url() {
  echo "== zmue -u $1 -m $work/mnt -r options=rw"
  "$zmue" -q -l warn -u "$1" -m "$work/mnt" -r options=rw </dev/null &
  zmue_pid=$!
  for _ in $(seq 50); do
    grep -q " $work/mnt fuse" /proc/mounts && break
    kill -0 "$zmue_pid" 2>/dev/null || { echo "demo: zmue ended before mounting" >&2; exit 1; }
    sleep 0.1
  done
  grep " $work/mnt fuse" /proc/mounts || { echo "demo: not mounted after 5 s" >&2; exit 1; }
}

# Stops zmue with SIGTERM and shows its status and the mount gone.
unmount() {
  echo "== kill -TERM $zmue_pid"
  kill -TERM "$zmue_pid"
  local status=0
  wait "$zmue_pid" || status=$?
  zmue_pid=
  echo "zmue exit status: $status"
  if grep -q " $work/mnt " /proc/mounts; then echo "demo: still mounted" >&2; exit 1; fi
  echo "== $work/mnt is unmounted"
}

mkdir -p "$work/share/docs"
echo "hello from the served directory" > "$work/share/hello.txt"
echo "notes" > "$work/share/docs/notes.txt"

echo "== zmsd-peer -P $work/port $work/share (127.0.0.1)"
"$peer" -P "$work/port" "$work/share" >/dev/null 2>"$work/peer.err" &
peer_pid=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { cat "$work/peer.err" >&2; echo "demo: the peer did not start" >&2; exit 1; }
port=$(cat "$work/port")

mount_url "zmp://127.0.0.1:$port/"
echo "== ls -lR $work/mnt"
ls -lR "$work/mnt"
echo "== cat mnt/hello.txt"
cat "$work/mnt/hello.txt"
echo "== write mnt/new.txt through the mount; it arrives in the served directory"
echo "written through FUSE and zmp" > "$work/mnt/new.txt"
ls -l "$work/share/new.txt"
cat "$work/share/new.txt"
unmount

echo "== kill -TERM $peer_pid (zmsd-peer)"
kill -TERM "$peer_pid"
wait "$peer_pid" || true
peer_pid=

echo "== the same served directory as a local path"
mount_url "$work/share"
ls "$work/mnt"
unmount
