#!/usr/bin/env bash
# The Debian package (from build_package.sh): its dependencies taken from the
# shared libraries, its files in place, its changelog at the package's version,
# the service's configuration a conffile and its unit left off by the scripts,
# and the installed program running with its phone book and log in the per-user
# data folder, since its own is not writable.
#   package_test.sh PACKAGE_DIR
set -euo pipefail
deb=$(ls "$1"/tarvik_*.deb)
work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT

fail=0
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libcanberra0; do
    echo "$depends" | grep -q "$lib" || { echo "Depends lacks $lib: $depends"; fail=1; }
done

root="$work/root"
dpkg -x "$deb" "$root"
for f in usr/bin/tarvik usr/bin/tarvik-modemsim usr/share/applications/tarvik.desktop \
         usr/share/icons/hicolor/scalable/apps/tarvik.svg usr/share/man/man1/tarvik.1.gz \
         usr/bin/tarvikd usr/share/man/man8/tarvikd.8.gz usr/lib/systemd/system/tarvikd.service \
         etc/tarvik/tarvik.ini \
         usr/share/doc/tarvik/copyright usr/share/doc/tarvik/changelog.gz \
         usr/lib/udev/rules.d/60-tarvik-modemmanager.rules; do
    [ -s "$root/$f" ] || { echo "missing in the package: $f"; fail=1; }
done
# A version bump needs its changelog entry.
zcat "$root/usr/share/doc/tarvik/changelog.gz" >"$work/changelog"
logged=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
[ "$logged" = "$(dpkg-deb -f "$deb" Version)" ] ||
    { echo "the changelog's latest entry is $logged, the package $(dpkg-deb -f "$deb" Version)"; fail=1; }

# dpkg keeps the administrator's configuration; the service's unit runs the
# packaged program; the scripts only reload systemd, restart a running service
# after an upgrade and stop it on removal: never enable or start it.
dpkg-deb -I "$deb" conffiles | grep -qx /etc/tarvik/tarvik.ini || { echo "tarvik.ini is no conffile"; fail=1; }
grep -q '^ExecStart=/usr/bin/tarvikd ' "$root/usr/lib/systemd/system/tarvikd.service" ||
    { echo "the unit does not start /usr/bin/tarvikd"; fail=1; }
"$root/usr/bin/tarvikd" --version | grep -qx "tarvikd $(dpkg-deb -f "$deb" Version)" ||
    { echo "the packaged tarvikd does not run"; fail=1; }
mkdir "$work/control"
dpkg-deb -e "$deb" "$work/control"
actions=$(cat "$work/control"/{postinst,prerm,postrm} |
    sed -n 's/^[^#]*\(systemctl\|deb-systemd-invoke\|deb-systemd-helper\)\( --*[a-z]*\)* \([a-z-]*\).*/\3/p' | sort -u | xargs)
[ "$actions" = "daemon-reload stop try-restart" ] || { echo "maintainer scripts do: $actions"; fail=1; }

# Run the installed program as a user who cannot write its folder.
home="$work/home"
mkdir -p "$home/config" "$home/data" "$home/run"
chmod 700 "$home/run"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$home"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
    chmod -R a-w "$root/usr/bin"
fi
"${as_user[@]}" env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
    XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen TARVIK_RECORD_BOXES="$home/run/boxes" \
    "$root/usr/bin/tarvik" >"$work/tarvik.out" 2>&1 &
pid=$!
for _ in $(seq 100); do
    [ -s "$home/data/Tarvik/tarvik.log" ] && grep -q ' $' "$home/data/Tarvik/tarvik.log" && break
    sleep 0.1
done
kill -TERM "$pid" 2>/dev/null || true
wait "$pid" || { echo "the installed program did not end cleanly"; cat "$work/tarvik.out"; fail=1; }
[ -s "$home/data/Tarvik/tarvik.log" ] || { echo "no log in the data folder"; cat "$work/tarvik.out"; fail=1; }
[ -s "$home/config/Tarvik/Tarvik.ini" ] || { echo "no settings saved"; fail=1; }
ls "$root/usr/bin" | grep -qv -E '^tarvik(-modemsim|d)?$' && { echo "wrote into its own folder"; fail=1; }
[ "$fail" -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit "$fail"
