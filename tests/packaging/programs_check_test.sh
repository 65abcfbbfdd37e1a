#!/usr/bin/env bash
# programs_check.pl on small source trees: it names a program whose package the
# Makefile does not install, a program that is not installed at all, and an
# expected program it did not find; it takes functions, builtins, variables,
# paths, comments, quoted text and here-documents for what they are.
set -euo pipefail
checker=$(dirname "$0")/programs_check.pl
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0 failed=0
result() {
    if [ "$1" = ok ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $2"; fi
}
# A fresh source tree whose Makefile installs the packages given.
tree() {
    rm -rf "$work/src" && mkdir -p "$work/src/tests" "$work/src/scripts"
    printf 'PACKAGES := cmake \\\n            %s\nall:\n\t@true\n' "$*" >"$work/src/Makefile"
}
add() { mkdir -p "$(dirname "$work/src/$1")" && cat >"$work/src/$1"; }
# Runs the checker; expects the exit status $1 and, in its report, every text that follows.
expect() {
    local status=$1 name=$2 got=0
    shift 2
    "$checker" "${extra[@]}" "$work/src" >"$work/out" 2>&1 || got=$?
    [ "$got" -eq "$status" ] || { result no "$name: exit $got, not $status"; cat "$work/out"; return; }
    for line in "$@"; do
        grep -qF -- "$line" "$work/out" || { result no "$name: no line '$line'"; cat "$work/out"; return; }
    done
    result ok
}
# The programs the last run found, against the list expected.
found() {
    local got
    got=$(awk 'NR > 1 && NF == 0 { exit } NR > 1 { print $1 }' "$work/out" | xargs)
    if [ "$got" = "$2" ]; then result ok; else result no "$1: found $got"; fi
}

# The fault this check exists for: a helper runs xwininfo, and x11-utils is not installed.
extra=()
tree xvfb xdotool
add tests/e2e/desktop.cpp <<'EOF'
QByteArray runOnDisplay(const XServer& x, const QString& program, const QStringList& args) {
    QProcess tool;
    tool.start(program, args);
}
QRect screenRect(const XServer& x, const QString& window) {
    const QString info = QString::fromLatin1(
        runOnDisplay(x, "xwininfo", {"-id", hexId(window)}));  // xwininfo's report
}
EOF
expect 1 "missing x11-utils" \
    "FAIL: xwininfo (tests/e2e/desktop.cpp:7) comes from x11-utils, which the Makefile's PACKAGES do not install"
tree xvfb xdotool x11-utils
expect 0 "x11-utils installed"

# A program that no package on the machine provides.
add scripts/run.sh <<'EOF'
#!/bin/sh
set -eu
tarvik-no-such-program --flag
EOF
expect 1 "program not installed" "FAIL: tarvik-no-such-program (scripts/run.sh:3) is not installed on this machine"
# Left out, or alone: a folder whose tools only a target of its own installs.
extra=(--exclude scripts)
expect 0 "its folder left out"
extra=(--within scripts)
expect 1 "its folder alone" "FAIL: tarvik-no-such-program (scripts/run.sh:3)"
extra=()

# Known tools count wherever they are named, here in a list of arguments.
tree xvfb
add tests/session.cpp <<'EOF'
const QStringList session{"weston", "--backend=headless-backend.so"};
EOF
expect 1 "weston in a list" \
    "FAIL: weston (tests/session.cpp:1) comes from weston, which the Makefile's PACKAGES do not install"

# Makefile recipes: make's variables, $(shell ...), wrappers such as xargs.
tree cmake
add Makefile <<'EOF'
JOBS := $(shell nproc)
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)
PACKAGES := cmake
format:
	git ls-files '*.cpp' | xargs clang-format -i
deps:
	@$(SUDO) apt-get install -y $(PACKAGES) && echo $$(date)
EOF
expect 1 "clang-format from the Makefile" \
    "FAIL: clang-format (Makefile:5) comes from clang-format"
found "Makefile programs" "apt-get clang-format date git id nproc xargs"

# What is a program in a shell script and what is not.
tree xvfb xdotool x11-utils
add scripts/all.sh <<'EOF'
#!/bin/sh
# xeyes in a comment is not run
helper() { echo "xclock in quotes"; }
helper --twice
"$bin" --flag
./local-script.sh
FOO=1 env BAR=2 xdotool key a | grep -q x && Xvfb :9 || true
trap 'rm -f "$tmp"' EXIT
window=$(xwininfo -root -tree) count=$((1 + 2))
options=(xcalc -bg red)
echo "$(printf '%s)' "$window" | tr a b)"
cat <<END
xmessage in a here-document
END
case "$1" in
    a) sed -n p ;;
    *) wc -l ;;
esac
for tool in xcalc xlogo; do [ -n "$window" ] && sort </dev/null; done
EOF
expect 0 "shell words"
found "shell programs" "Xvfb cat env grep rm sed sh sort tr wc xdotool xwininfo"

# A scan that finds nothing must not pass.
extra=(--expect sort --expect tarvik-helper)
expect 1 "expected program not found" "FAIL: the scan did not find tarvik-helper"

# The packages of building and the demo hold no test tool; PACKAGES takes them in.
printf 'BUILD_PACKAGES := cmake xvfb\nPACKAGES := $(BUILD_PACKAGES) xdotool\nall:\n\t@true\n' \
    >"$work/src/Makefile"
expect 1 "a test tool among the build packages" "FAIL: BUILD_PACKAGES names the test tool xvfb"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
