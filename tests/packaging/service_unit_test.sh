#!/usr/bin/env bash
# The installed systemd unit of tarvikd passes `systemd-analyze verify` and rates
# "OK" or better in `systemd-analyze security` (an exposure of at most 2.5).
#   service_unit_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
command -v systemd-analyze >/dev/null || { echo "SKIP: no systemd-analyze"; exit 77; }
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage/root" cmake --install "$build" --prefix /usr >/dev/null
# verify wants the program to exist: the installed unit, pointed at the built one.
unit="$stage/tarvikd.service"
sed "s|^ExecStart=/usr/bin/tarvikd |ExecStart=$build/src/service/tarvikd |" \
    "$stage/root/usr/lib/systemd/system/tarvikd.service" >"$unit"

fail=0
grep -q "^ExecStart=$build/src/service/tarvikd " "$unit" || { echo "no ExecStart=/usr/bin/tarvikd"; fail=1; }
report=$(systemd-analyze verify --man=no "$unit" 2>&1) || fail=1
[ -z "$report" ] || { echo "systemd-analyze verify:"; echo "$report"; fail=1; }

security=$(systemd-analyze security --offline=true "$unit" 2>&1) || true
echo "$security" | grep '✗' || true
echo "$security" | tail -n 1
level=$(echo "$security" | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\) .*/\1/p')
[ -n "$level" ] || { echo "no exposure level in the report"; fail=1; }
[ -z "$level" ] || awk -v level="$level" 'BEGIN { exit !(level <= 2.5) }' ||
    { echo "exposure $level is above 2.5"; fail=1; }
[ "$fail" -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit "$fail"
