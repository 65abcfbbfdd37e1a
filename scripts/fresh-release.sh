#!/usr/bin/env bash
# Tries the README's two commands as a newcomer would: a Debian release's minimal
# base, with only git and make added, a clone of this repository's HEAD, then
# `make demo` (until the first call is logged) and `make test`. Each step's time
# and result go to <root>/report.txt. Run as root: it makes a chroot.
#   scripts/fresh-release.sh RELEASE ROOT
set -euo pipefail
release=${1:?release, such as bookworm or trixie}
root=${2:?folder for the release}
mirror=${MIRROR:-http://deb.debian.org/debian}
repo=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)

[ "$(id -u)" = 0 ] || { echo "fresh-release: run as root (it makes a chroot)" >&2; exit 1; }

# A fresh base every time (KEEP_BASE=1 reuses the last one, packages and all).
if [ "${KEEP_BASE:-}" != 1 ] || [ ! -x "$root/usr/bin/apt-get" ]; then
    rm -rf "$root"
    debootstrap --variant=minbase "$release" "$root" "$mirror"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
report="$root/report.txt"
: >"$report"

# Everything below runs in a mount namespace of its own: the chroot's mounts go
# away with it, whatever way the run ends.
exec unshare --mount --propagation private -- bash -s "$root" "$repo" "$report" <<'INNER'
set -euo pipefail
root=$1 repo=$2 report=$3
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --rbind /dev "$root/dev"
mkdir -p "$root/src"
mount --bind -o ro "$repo" "$root/src"

in_root() { chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "$1"; }
step() {
    local name=$1 started=$SECONDS status=0
    in_root "$2" >"$root/$name.log" 2>&1 || status=$?
    printf '%-12s %5d s  exit %d\n' "$name" $((SECONDS - started)) "$status" | tee -a "$report"
    return "$status"
}

grep PRETTY_NAME "$root/etc/os-release" | tee -a "$report"
step setup 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq git make &&
            rm -rf /root/tarvik && git clone -q /src /root/tarvik &&
            git -C /root/tarvik log -1 --format="%h %s"'
before=$(in_root 'dpkg-query -W -f=. | wc -c')

# The demo runs until stopped: stopped once the call log shows the number of the
# simulator's first call.
step demo 'cd /root/tarvik && (setsid make demo >demo.out 2>&1 & pid=$!
    logged() { n=$(sed -n "s/.*\*\* call \([0-9]*\).*/\1/p" demo.out | head -n 1)
               [ -n "$n" ] && grep -v "^\[" demo.out | grep -q "$n"; }
    for _ in $(seq 2400); do logged && break; kill -0 $pid 2>/dev/null || break; sleep 0.5; done
    kill -INT -- -$pid 2>/dev/null; wait $pid || true
    cat demo.out; logged)' || true
after=$(in_root 'dpkg-query -W -f=. | wc -c')
echo "packages: $before in the base, $after after make demo" | tee -a "$report"
in_root 'for p in weston openbox clang lintian imagemagick libgtest-dev xvfb; do
    dpkg-query -W -f="\${Status}\n" $p 2>/dev/null | grep -q "install ok installed" && echo "test tool installed by make demo: $p"; done; true' | tee -a "$report"

step test 'cd /root/tarvik && make test' || true
tail -n 5 "$root/test.log" | grep -E "tests passed|tests failed" | tee -a "$report" || true
INNER
