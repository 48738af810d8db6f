#!/bin/sh
# After a failed ctest run: the assertion lines of each failed test again, at the end of the
# output, where a log that keeps only its last lines still shows why.
# Usage: ctest-failures.sh BUILD_DIR
log=$1/Testing/Temporary/LastTest.log
failed=$1/Testing/Temporary/LastTestsFailed.log
[ -r "$log" ] && [ -r "$failed" ] || exit 0
cut -d: -f2- "$failed" | while read -r name; do
  echo "---- why $name failed:"
  awk -v t="$name" '
    /^[0-9]+\/[0-9]+ Test: / { inside = ($3 == t); next }
    !inside { next }
    /: Failure$/ { more = 8 }
    more > 0 || /FAILED|Timeout|timed out/ { print; more--; if (++n >= 60) exit }' "$log"
done
