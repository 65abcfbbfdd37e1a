#!/usr/bin/env bash
# lintian passes the Debian package: an error or a warning fails the test; the
# informational tags are printed for the record.
set -euo pipefail
deb=$(ls "$1"/tarvik_*.deb)
status=0
report=$(lintian --fail-on error,warning --display-info "$deb" 2>&1) || status=$?
echo "$report" | grep -v 'root privileges' || true
if [ "$status" -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit "$status"
