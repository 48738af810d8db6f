#!/usr/bin/env bash
# Demonstration entry of `make demo`. The demonstration mounts a tree through FUSE, so it comes
# with the first build that can mount; until then this only says so.
set -euo pipefail
echo "make demo: not available yet - the demonstration arrives with the first working mount;"
echo "this build of zmue cannot mount (a mount request exits with status 255)."
