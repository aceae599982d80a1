#!/usr/bin/env bash
# Runs the uninstall benchmark under Wine on a private display: the deletion passes over
# 10,000 files in 500 folders, and a silent uninstall of the real program.
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
. tools/host.sh "$BUILD"
echo "(running the $OMBRIX_TEST_BITS-bit build: $OMBRIX_TEST_WHY)"
. tools/wine-env.sh "$OMBRIX_TEST_BUILD" "$OMBRIX_TEST_BITS"
trap wine_down EXIT
wine_up
wine_standin_interpreter "$OMBRIX_TEST_BITS" "$OMBRIX_BUILD/standins/standin.exe"
wine "$OMBRIX_BUILD/tests/uninstall_bench.exe" 2>/dev/null | tr -d '\r'
