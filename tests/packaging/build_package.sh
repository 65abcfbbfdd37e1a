#!/usr/bin/env bash
# Builds the Debian package of a build tree into a fresh folder, once for all
# the tests that look at it:  build_package.sh BUILD_DIR OUTPUT_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
out=$2
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
(cd "$out" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1) ||
    { cat "$out/cpack.log"; exit 1; }
ls "$out"/tarvik_*.deb
