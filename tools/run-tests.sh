#!/usr/bin/env bash
# Runs the whole suite (or what the ctest arguments select) under Wine on a private display.
# BUILD names the build tree (default: build).
set -uo pipefail
cd "$(dirname "$0")/.."
. tools/wine-env.sh "${BUILD:-build}"
trap wine_down EXIT
wine_up
ctest --test-dir "$OMBRIX_BUILD" --output-on-failure -j2 "$@"
