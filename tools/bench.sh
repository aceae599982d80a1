#!/usr/bin/env bash
# Runs the uninstall benchmark under Wine on a private display: the deletion passes over
# 10,000 files in 500 folders, and a silent uninstall of the real program.
set -uo pipefail
cd "$(dirname "$0")/.."
. tools/wine-env.sh "${BUILD:-build}"
trap wine_down EXIT
wine_up
wine "$OMBRIX_BUILD/tests/uninstall_bench.exe" 2>/dev/null | tr -d '\r'
