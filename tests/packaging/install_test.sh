#!/usr/bin/env bash
# `cmake --install` into a staging folder puts every file where a desktop expects
# it, and the desktop entry and the AppStream data pass their validators.
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null

fail=0
for f in usr/bin/tarvik usr/bin/tarvik-modemsim \
         usr/share/applications/tarvik.desktop \
         usr/share/metainfo/io.github.tarvik.Tarvik.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/tarvik.svg \
         usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/tarvik.png \
         usr/share/man/man1/tarvik.1 usr/share/man/man1/tarvik-modemsim.1 \
         usr/lib/udev/rules.d/60-tarvik-modemmanager.rules; do
    [ -s "$stage/$f" ] || { echo "missing: $f"; fail=1; }
done
for size in 16 32 48 64 128 256; do
    file "$stage/usr/share/icons/hicolor/${size}x${size}/apps/tarvik.png" | grep -q "PNG image data, $size x $size" ||
        { echo "icon ${size}: not a ${size}x${size} PNG"; fail=1; }
done
grep -q '^Exec=tarvik$' "$stage/usr/share/applications/tarvik.desktop" || { echo "Exec takes arguments"; fail=1; }
grep -q '^Categories=Utility;Telephony;$' "$stage/usr/share/applications/tarvik.desktop" || { echo "categories"; fail=1; }
grep -q 'ENV{ID_MM_DEVICE_IGNORE}="1"' "$stage/usr/lib/udev/rules.d/60-tarvik-modemmanager.rules" || fail=1
desktop-file-validate "$stage/usr/share/applications/tarvik.desktop" | grep -v ': hint:' | grep . && fail=1
appstreamcli validate --no-net "$stage/usr/share/metainfo/io.github.tarvik.Tarvik.metainfo.xml" >/dev/null ||
    { appstreamcli validate --no-net "$stage/usr/share/metainfo/io.github.tarvik.Tarvik.metainfo.xml"; fail=1; }
[ "$fail" -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit "$fail"
