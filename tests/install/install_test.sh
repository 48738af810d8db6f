#!/bin/sh
# Installs a built tree into a temporary DESTDIR (as `make install DESTDIR=...` does) and checks
# what lands where: programs, sample configuration, manual page (rendered without warnings by
# man-db), service examples, and that a second install keeps an edited zmue.ini.
# Usage: install_test.sh BUILD_DIR
set -u
build=$1
# A build tree that made only some targets (the sanitizer step) has nothing to install: skipped.
if [ ! -x "$build/src/opt/zmue/zmue" ] || [ ! -x "$build/src/opt/zmue/mount.zmue" ]; then
  echo "skipped: zmue and mount.zmue are not built in $build"
  exit 77
fi
dest=$(mktemp -d /tmp/zmue-install.XXXXXX) || exit 1
trap 'rm -rf "$dest"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

DESTDIR=$dest cmake --install "$build" --prefix /usr/local >"$dest.log" 2>&1 || {
  cat "$dest.log"; rm -f "$dest.log"; exit 1; }
rm -f "$dest.log"
p=$dest/usr/local
for f in "$p/bin/zmue" "$dest/sbin/mount.zmue" "$p/share/zmue/examples/zmue-mount.init"; do
  [ -x "$f" ] || fail "$f is not an executable file"
done
for f in "$p/bin/zmue.ini" "$p/share/man/man1/zmue.1" "$p/share/zmue/examples/zmue-mount.service" \
         "$p/share/zmue/examples/fstab"; do
  [ -s "$f" ] || fail "$f is missing"
done

[ "$("$p/bin/zmue" -v)" = "1.7.2.0" ] || fail "the installed zmue does not report its version"
"$dest/sbin/mount.zmue" -h | grep -q "^Usage: mount.zmue URL DIR" || fail "mount.zmue -h"
# The sample must load as a configuration: every key is commented out, so nothing is set.
out=$("$p/bin/zmue" -q -c "$p/bin/zmue.ini" -p 2>&1)
[ "$out" = "panic_dump_dir=" ] || fail "the sample zmue.ini does not load cleanly: $out"
sh -n "$p/share/zmue/examples/zmue-mount.init" || fail "the init script does not parse"

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$p/share/man/man1/zmue.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man reports: $warnings"
page=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$p/share/man/man1/zmue.1" 2>/dev/null)
for section in SYNOPSIS OPTIONS "URL QUERY KEYS" "CONFIGURATION FILE" "MOUNT HELPER" ENVIRONMENT \
               "EXIT STATUS" EXAMPLES; do
  printf '%s\n' "$page" | grep -q "^$section" || fail "the manual page has no $section"
done
printf '%s\n' "$page" | grep -q "zmue rw,_netdev" || fail "the manual page has no fstab line"

echo "level=dbg" >>"$p/bin/zmue.ini"
DESTDIR=$dest cmake --install "$build" --prefix /usr/local >/dev/null 2>&1 || fail "second install"
grep -q "^level=dbg" "$p/bin/zmue.ini" || fail "a second install replaced the edited zmue.ini"

[ $failures -eq 0 ] && echo "install tree complete"
exit $failures
