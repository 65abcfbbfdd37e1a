#!/usr/bin/env bash
# `cmake --install` into a staging folder puts every file where a desktop expects
# it, the desktop entry and the AppStream data pass their validators, and the
# licence (GPL 3 or later) is named alike in the source tree, the AppStream data
# and the Debian copyright file. The service's unit names the program where this
# install put it, and a second install keeps the administrator's configuration.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null

fail=0
for f in usr/bin/tarvik usr/bin/tarvik-modemsim usr/bin/tarvikd \
         usr/share/applications/tarvik.desktop \
         usr/share/metainfo/io.github.tarvik.Tarvik.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/tarvik.svg \
         usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/tarvik.png \
         usr/share/man/man1/tarvik.1.gz usr/share/man/man1/tarvik-modemsim.1.gz \
         usr/share/man/man8/tarvikd.8.gz usr/lib/systemd/system/tarvikd.service etc/tarvik/tarvik.ini \
         usr/share/doc/tarvik/copyright usr/share/doc/tarvik/changelog.gz \
         usr/lib/udev/rules.d/60-tarvik-modemmanager.rules; do
    [ -s "$stage/$f" ] || { echo "missing: $f"; fail=1; }
done
for size in 16 32 48 64 128 256; do
    file "$stage/usr/share/icons/hicolor/${size}x${size}/apps/tarvik.png" | grep -q "PNG image data, $size x $size" ||
        { echo "icon ${size}: not a ${size}x${size} PNG"; fail=1; }
done
for manual in tarvik:1 tarvik-modemsim:1 tarvikd:8; do
    page=${manual%:*} section=${manual#*:}
    gz="$stage/usr/share/man/man$section/$page.$section.gz"
    file "$gz" | grep -q 'max compression' || { echo "$page.$section.gz: not gzip -9"; fail=1; }
    zcat "$gz" | grep -q "^\.TH ${page^^} $section " || { echo "$page.$section.gz: no manual page inside"; fail=1; }
done
unit="$stage/usr/lib/systemd/system/tarvikd.service"
grep -qx 'ExecStart=/usr/bin/tarvikd --config /etc/tarvik/tarvik.ini --state /var/lib/tarvik' "$unit" ||
    { echo "tarvikd.service: $(grep '^ExecStart=' "$unit")"; fail=1; }
# Qt's INI reader takes only ";" for a comment: a "#" line would be read as a key.
config="$stage/etc/tarvik/tarvik.ini"
grep -vnE '^(;.*|\[[A-Za-z]+\]|[A-Za-z]+=.*|)$' "$config" && { echo "tarvik.ini: lines above are no INI"; fail=1; }
echo 'Device=/dev/ttyACM0' >>"$config"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
grep -qx 'Device=/dev/ttyACM0' "$config" || { echo "a second install replaced the configuration"; fail=1; }
grep -q '^Exec=tarvik$' "$stage/usr/share/applications/tarvik.desktop" || { echo "Exec takes arguments"; fail=1; }
grep -q '^Categories=Utility;Telephony;$' "$stage/usr/share/applications/tarvik.desktop" || { echo "categories"; fail=1; }
grep -q 'ENV{ID_MM_DEVICE_IGNORE}="1"' "$stage/usr/lib/udev/rules.d/60-tarvik-modemmanager.rules" || fail=1
desktop-file-validate "$stage/usr/share/applications/tarvik.desktop" | grep -v ': hint:' | grep . && fail=1
appstreamcli validate --no-net "$stage/usr/share/metainfo/io.github.tarvik.Tarvik.metainfo.xml" >/dev/null ||
    { appstreamcli validate --no-net "$stage/usr/share/metainfo/io.github.tarvik.Tarvik.metainfo.xml"; fail=1; }

metainfo="$stage/usr/share/metainfo/io.github.tarvik.Tarvik.metainfo.xml"
copyright="$stage/usr/share/doc/tarvik/copyright"
cmp -s "$source/LICENSE" /usr/share/common-licenses/GPL-3 || { echo "LICENSE is not the GPL 3 text"; fail=1; }
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" ||
    { echo "AppStream project_license is not GPL-3.0-or-later"; fail=1; }
head -n1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    { echo "copyright: not in the machine-readable format"; fail=1; }
[ "$(grep -c '^License: GPL-3.0-or-later$' "$copyright")" -eq 2 ] ||
    { echo "copyright: Files * and the licence paragraph do not both name GPL-3.0-or-later"; fail=1; }
grep -q '"/usr/share/common-licenses/GPL-3"' "$copyright" || { echo "copyright: no pointer to the GPL text"; fail=1; }
[ "$fail" -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit "$fail"
