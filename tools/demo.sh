#!/usr/bin/env bash
# Demonstration of the program's main job in the private Wine prefix: the command-line
# modes, a translated message box, and a real install folder that is uninstalled again.
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
. tools/host.sh "$BUILD"
echo "(running the $OMBRIX_TEST_BITS-bit build: $OMBRIX_TEST_WHY)"
. tools/wine-env.sh "$OMBRIX_TEST_BUILD" "$OMBRIX_TEST_BITS"
trap wine_down EXIT
wine_up

# The hidden batch file inherits the driver's output: its echoed commands are shown as "batch>".
driver() {
  wine "$OMBRIX_BUILD/tests/driver.exe" "$@" 2>/dev/null | tr -d '\r' \
    | sed -e '/^[[:space:]]*$/d' -e 's/^[A-Z]:[^>]*>/  batch> /'
}

echo "== /wait: sleeps two seconds, shows nothing"
driver -- /wait
echo
echo "== /warning: the notice the batch file shows when the program file could not be deleted"
driver -- /warning
echo
echo "== /setup, confirmed: setup dialog, completion dialog, WOW64 notice"
driver -- /setup /noexplorer
echo
echo "== /setup, cancelled: exit code 1"
driver --answer cancel -- /setup

# An installation folder as the installer leaves it.
PF="$WINEPREFIX/drive_c/Program Files/Ombrix"
guarded_rm "$PF"
mkdir -p "$PF/Formats" "$PF/Lang"
cp "$OMBRIX_BUILD/Uninstall.exe" "$PF/"
cp tools/demo/uninstall.lng "$PF/uninstall.lng.sample"
printf 'stand-in archiver\r\n' > "$PF/Ombrix.exe"
printf 'readme\r\n' > "$PF/ReadMe.txt"
printf 'format\r\n' > "$PF/Formats/zst.fmt"
printf 'lang\r\n' > "$PF/Lang/de.lng"
printf 'mine\r\n' > "$PF/MyNotes.txt"
WINPF='C:\Program Files\Ombrix'

echo
echo "== uninstall in a folder without Uninstall.lst: the error box, even with /S"
driver --program "$WINPF\\Uninstall.exe" -- /S

echo
echo "== a translated language file beside the program"
iconv -f UTF-8 -t CP1252 tools/demo/uninstall.lng > "$PF/uninstall.lng"
driver --program "$WINPF\\Uninstall.exe" -- /warning
guarded_rm "$PF/uninstall.lng"

echo
echo "== uninstall, confirmed: removes what Uninstall.lst names, then itself through a batch file"
printf 'Formats\r\nOmbrix.exe\r\nReadMe.txt  \r\n\r\nFormats\\zst.fmt\r\nLang\\de.lng\r\nLang\r\nuninstall.lng.sample\r\nUninstall.exe\r\nUninstall.lst\r\n' > "$PF/Uninstall.lst"
echo "  before: $(cd "$PF" && find . -mindepth 1 | sort | tr '\n' ' ')"
driver --program "$WINPF\\Uninstall.exe" --answer yes --children
echo "  after:  $( [ -d "$PF" ] && (cd "$PF" && find . -mindepth 1 | sort | tr '\n' ' ') || echo "folder removed")"
echo "  (MyNotes.txt was not in the list, so it stays and keeps the folder)"
