#!/usr/bin/env bash
# Sizes of the self-contained programs: the static x86-64 and mipsel builds of zmue and the
# reference peer (make static and make mipsel link them stripped), in bytes with text/data/bss.
# Usage: bench/size.sh [static build dir] [mipsel build dir]   (default: build-static build-mipsel)
set -euo pipefail

static=${1:-build-static}
mipsel=${2:-build-mipsel}

# label, program, the binutils size of its target
line() {
  local label=$1 program=$2 size_tool=$3 bytes sections
  if [ ! -f "$program" ]; then
    printf '%-18s not built (%s)\n' "$label" "$program"
    return
  fi
  bytes=$(stat -c %s "$program")
  sections=$("$size_tool" "$program" | awk 'NR == 2 { printf "text %s, data %s, bss %s", $1, $2, $3 }')
  printf '%-18s %9d bytes (%4d KiB)  %s\n' "$label" "$bytes" $(((bytes + 1023) / 1024)) "$sections"
}

line "zmue x86_64" "$static/src/opt/zmue/zmue" size
line "zmue mipsel" "$mipsel/src/opt/zmue/zmue" mipsel-linux-gnu-size
line "zmsd-peer x86_64" "$static/tools/zmsd-peer/zmsd-peer" size
line "zmsd-peer mipsel" "$mipsel/tools/zmsd-peer/zmsd-peer" mipsel-linux-gnu-size
