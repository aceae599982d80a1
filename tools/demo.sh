#!/usr/bin/env bash
# Demonstration of the program's main job in the private Wine prefix: the archiver's whole life.
# An installer stand-in copies the program files into C:\Program Files\Ombrix and starts setup,
# whose dialogs are answered; a summary shows what Windows now knows of the archiver; the
# uninstall takes it all back, and the prefix is compared with its state before installation.
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
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
query() {  # key [view]: one line per value, or "(none)"
  local out
  out=$(wine reg query "$1" ${2:+/reg:$2} 2>/dev/null | tr -d '\r' | sed -n 's/^    /    /p')
  printf '  %s%s\n' "$1" "${2:+ (${2}-bit view)}"
  if [ -n "$out" ]; then printf '%s\n' "$out"; else echo "    (none)"; fi
}

echo "== /wait: sleeps two seconds, shows nothing"
driver -- /wait
echo
echo "== /warning: the notice the batch file shows when the program file could not be deleted"
driver -- /warning
echo
echo "== /warning with a translated language file beside the program"
SCRATCH="$OMBRIX_BUILD/scratch/demo"
guarded_rm "$SCRATCH"
mkdir -p "$SCRATCH/lang"
cp "$OMBRIX_BUILD/Uninstall.exe" "$SCRATCH/lang/"
iconv -f UTF-8 -t CP1252 tools/demo/uninstall.lng > "$SCRATCH/lang/uninstall.lng"
driver --program "$(winpath "$SCRATCH/lang")\\Uninstall.exe" -- /warning

# The installer's payload: this program and the least stand-ins of the archiver's other parts.
PAYLOAD="$SCRATCH/payload"
mkdir -p "$PAYLOAD"
cp "$OMBRIX_BUILD/Uninstall.exe" "$OMBRIX_BUILD/ombrix.chm" "$OMBRIX_BUILD/license.txt" "$PAYLOAD/"
cp "$OMBRIX_BUILD/standins/Ombrix.exe" "$OMBRIX_BUILD/standins/kvaext.dll" "$OMBRIX_BUILD/standins/kvaext64.dll" "$PAYLOAD/"
printf 'Ombrix read-me\r\n' > "$PAYLOAD/Kva.txt"
printf 'What is new in 6.24\r\n' > "$PAYLOAD/What is new"
PF="$WINEPREFIX/drive_c/Program Files/Ombrix"
WINPF='C:\Program Files\Ombrix'
guarded_rm "$PF"

# An archive type that another program owns, with a "New" entry, before the archiver comes.
wine reg add 'HKCR\.7z' /ve /d SevenZip.Archive /f >/dev/null 2>&1
wine reg add 'HKCR\.7z\ShellNew' /v NullFile /d '' /f >/dev/null 2>&1
driver --snapshot "$(winpath "$SCRATCH/before.txt")"

echo
echo "== installation: the installer stand-in copies the files and starts setup; OK is pressed"
driver --program "$(winpath "$OMBRIX_BUILD/standins/installer.exe")" --screenshots "$(winpath "$OMBRIX_BUILD/screenshots")" \
  -- "$(winpath "$PAYLOAD")" "$WINPF"
echo "  program folder: $(cd "$PF" && ls | tr '\n' ' ')"
# Setup opened the new program group in an Explorer window; the user closes it.
sleep 2
pkill -f 'explorer.exe C:.*Programs.Ombrix' && echo "  (the Explorer window setup opened on the program group is closed)"
screenshots_png "$OMBRIX_BUILD/screenshots"
[ -d "$OMBRIX_BUILD/screenshots" ] && echo "  screenshots: $(cd "$OMBRIX_BUILD/screenshots" && ls | tr '\n' ' ')(in $OMBRIX_BUILD/screenshots)"

echo
echo "== what setup registered"
echo "-- associations (with what they were before, remembered per user)"
for ext in .kva .zip .7z .iso .jar .tgz .k00; do
  printf '  %-5s opens with: %s\n' "$ext" "$(wine reg query "HKCR\\$ext" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')"
done
query 'HKCU\Software\Ombrix\Setup\.7z'
query 'HKCU\Software\Ombrix\Setup\.zip'
query 'HKCR\Ombrix\shell\open\command'
query 'HKCR\.zip\ShellNew'
echo "-- shell extension, in both registry views"
for view in 32 64; do
  query 'HKCR\CLSID\{6D2F31C4-9A1B-4E57-8C03-2B7E91A4D5F0}\InProcServer32' $view
  query 'HKCR\CLSID\{6D2F31C4-5B1B-4E57-8C03-2B7E91A4D5F0}\InProcServer32' $view
done
query 'HKCR\*\shellex\ContextMenuHandlers\Ombrix'
query 'HKCR\*\shellex\ContextMenuHandlers\Ombrix32'
query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'  | grep -E 'Ombrix|HKLM'
echo "-- App Paths, in both registry views"
query 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\Ombrix.exe' 32
query 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\Ombrix.exe' 64
echo "-- shortcuts"
find "$WINEPREFIX/drive_c" -iname '*Ombrix*.lnk' -o -path '*Programs/Ombrix/*' 2>/dev/null | sed "s|$WINEPREFIX/drive_c|  C:|"
echo "-- the entry in the list of installed programs"
query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ombrix archiver'

echo
echo "== uninstall, as Apps & features starts it: confirmed with Yes"
driver --program "$WINPF\\Uninstall.exe" --answer yes --children
echo "  program folder: $([ -d "$PF" ] && echo "still there: $(ls "$PF")" || echo "removed")"
printf '  .7z opens with: %s again\n' "$(wine reg query 'HKCR\.7z' /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')"
query 'HKCR\.7z\ShellNew'

echo
echo "== the prefix against its state before installation (Windows' own notes left out)"
driver --snapshot "$(winpath "$SCRATCH/after.txt")"
driver --diff "$(winpath "$SCRATCH/before.txt")" "$(winpath "$SCRATCH/after.txt")"
wine reg delete 'HKCR\.7z' /f >/dev/null 2>&1 || true
