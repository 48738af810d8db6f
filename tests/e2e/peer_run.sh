#!/bin/sh
# Runs the end-to-end suite against a zmp:// or zmps:// mount of the reference peer on 127.0.0.1.
# Usage: peer_run.sh zmp|zmps PEER_BINARY E2E_BINARY; the peer is started here and stopped by PID.
set -u
scheme=$1 peer=$2 suite=$3
work=$(mktemp -d /tmp/zmue-e2e-peer.XXXXXX) || exit 1
mkdir "$work/share"
tls=""
if [ "$scheme" = zmps ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null || exit 1
  tls="--tls-cert $work/cert.pem --tls-key $work/key.pem"
fi
# shellcheck disable=SC2086
"$peer" -P "$work/port" $tls "$work/share" >"$work/peer.out" 2>"$work/peer.err" &
pid=$!
i=0
while [ ! -s "$work/port" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
status=1
if [ -s "$work/port" ]; then
  ZM_E2E_URL="$scheme://127.0.0.1:$(cat "$work/port")/" ZM_E2E_BACKING="$work/share" \
    timeout 900 "$suite"
  status=$?
else
  cat "$work/peer.err" >&2
fi
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
rm -rf "$work"
exit $status
