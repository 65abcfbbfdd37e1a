#!/usr/bin/env bash
# Runs TARVIK against the modem simulator in a private, throw-away set of folders:
# the user's own settings, phone book and log are never touched.
# DEMO_KIND=reporting plays a modem that reports the caller with the rings;
# DEMO_KIND=service runs the service tarvikd instead of the desktop program.
set -euo pipefail
build=${1:-build}
sim="$build/tools/modemsim/tarvik-modemsim"
app="$build/src/shell/tarvik"
service="$build/src/service/tarvikd"
[ -x "$sim" ] || { echo "demo: $sim is not built" >&2; exit 1; }

root=$(mktemp -d "${TMPDIR:-/tmp}/tarvik-demo.XXXXXX")
export XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" XDG_RUNTIME_DIR="$root/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR" "$root/program"
chmod 700 "$XDG_RUNTIME_DIR"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

echo "Demo folders: $root"
# DEMO_KIND=reporting plays a modem that reports the caller with the rings, as
# most caller-ID modems do, at a real telephone's cadence (a ring every 6 s).
sim_args=(--every 20s)
if [ "${DEMO_KIND:-}" = reporting ]; then
    mkdir -p "$XDG_CONFIG_HOME/Tarvik"
    printf '[Param]\nCidMode=1\n' >"$XDG_CONFIG_HOME/Tarvik/Tarvik.ini"
    sim_args=(--every 40s --cid-kind spaced --rings 4 --gap 6s --number random)
fi
"$sim" --port 2 "${sim_args[@]}" --delay 3s --transcript "$root/transcript.txt" </dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$XDG_CONFIG_HOME/Tarvik/ports/COM2" ] && break; sleep 0.1; done

# The first port from 3333 on that nobody listens on (bash's /dev/tcp connects
# only where a server is).
free_port() {
    local port
    for port in $(seq 3333 3399); do
        if ! { exec 3<>"/dev/tcp/127.0.0.1/$port"; } 2>/dev/null; then
            echo "$port"
            return
        fi
        exec 3>&-
    done
    return 1
}

# An NCID client of our own: it prints every line the server sends.
ncid_client() {
    for _ in $(seq 50); do
        { exec 3<>"/dev/tcp/127.0.0.1/$1"; } 2>/dev/null && break
        sleep 0.1
    done
    { true >&3; } 2>/dev/null || { echo "NCID client: no server at port $1"; return; }
    while IFS= read -r line <&3; do printf 'NCID client: %s\n' "${line%$'\r'}"; done
    echo "NCID client: the server closed the connection"
}

# The service: configuration and state folder in the throw-away folder, its
# journal lines (one per event, a syslog priority first) on the terminal.
if [ "${DEMO_KIND:-}" = service ]; then
    [ -x "$service" ] || { echo "demo: $service is not built" >&2; exit 1; }
    port=$(free_port)
    printf '[Param]\nDevice=%s\n[NCID]\nEnabled=1\nPort=%s\n' \
        "$XDG_CONFIG_HOME/Tarvik/ports/COM2" "$port" >"$root/tarvik.ini"
    mkdir -p "$root/lock"
    echo "A call arrives every ${sim_args[1]}. tarvikd's journal and an NCID client at port $port;"
    echo "call log $root/state/tarvik.log. Ctrl+C ends the demo:"
    TARVIK_LOCK_DIR="$root/lock" "$service" --config "$root/tarvik.ini" --state "$root/state" \
        2> >(sed -u 's/^/tarvikd: /') &
    pids+=($!)
    ncid_client "$port" &
    pids+=($!)
    wait "${pids[1]}" || echo "demo: tarvikd ended with status $?"
    exit 0
fi

if [ ! -x "$app" ]; then
    echo "demo: TARVIK itself is not built yet; the simulator runs alone (Ctrl+C ends)."
    wait
    exit 0
fi

# The program keeps its phone book and log beside itself: give it a folder of its own.
cp "$app" "$root/program/tarvik"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: TARVIK runs on the offscreen platform; the call log below shows the calls."
    export QT_QPA_PLATFORM=offscreen
fi
"$root/program/tarvik" >"$root/tarvik.out" 2>&1 &
pids+=($!)

echo "A call arrives every ${sim_args[1]}. Call log ($root/program/tarvik.log); Ctrl+C ends the demo:"
touch "$root/program/tarvik.log"
# The log is Windows-1251 (caller categories are Cyrillic); show it as UTF-8 line by line.
tail -n +1 -F "$root/program/tarvik.log" 2>/dev/null |
    perl -MEncode -ne 'BEGIN { $| = 1 } print encode("UTF-8", decode("cp1251", $_))' &
pids+=($!)
wait "${pids[1]}" || true
