#!/usr/bin/env bash
# Runs one fuzz target for a bounded time, starting from its seed corpus. What it finds, and any
# folder it makes, go to a scratch folder removed afterwards; an input that crashes it or fails
# a property is kept here as crash-*, and the test fails.
# usage: run_fuzzer.sh FUZZER SEED_CORPUS SECONDS
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
scratch_folder scratch
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/corpus" "$scratch/tmp"
TMPDIR="$scratch/tmp" "$1" -max_total_time="$3" -timeout=10 -artifact_prefix="$PWD/" \
  -print_final_stats=1 "$scratch/corpus" "$2"
