#!/bin/sh
# Runs one fuzz target from its seed corpus:
#   run_target.sh [--fresh] BINARY SEED_CORPUS WORK_DIR [LIBFUZZER_OPTION...]
# New inputs go to WORK_DIR/corpus (kept between runs unless --fresh), findings to
# WORK_DIR/crash-*, leak-*, timeout-*, oom-*. The committed seeds are never written.
set -eu
fresh=false
if [ "$1" = --fresh ]; then fresh=true; shift; fi
bin=$1 seeds=$2 work=$3
shift 3
if $fresh; then rm -rf "$work"; fi
mkdir -p "$work/corpus"
exec "$bin" -artifact_prefix="$work/" -print_final_stats=1 "$@" "$work/corpus" "$seeds"
