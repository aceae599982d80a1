# Sourced by the test and demo scripts: a private Wine prefix in the build tree, a private
# X display, and a warm wineserver that no test's pipes keep alive.
# Usage: . tools/wine-env.sh BUILD_DIR [32|64] ; then wine_up ; ... ; wine_down
# With 64, Wine's 64-bit loader runs everything (for the x86_64 test build).
set -u
if [ -z "${1:-}" ] || [ ! -d "$1" ]; then echo "wine-env.sh: no build folder: '${1:-}'" >&2; exit 2; fi
OMBRIX_BUILD=$(cd "$1" && pwd)
if [ -z "$OMBRIX_BUILD" ] || [ "$OMBRIX_BUILD" = / ]; then echo "wine-env.sh: refusing build folder '$OMBRIX_BUILD'" >&2; exit 2; fi
if [ "${2:-32}" = 64 ]; then
  # Debian's wine wrapper (and wineboot through it) picks the 32-bit loader whenever wine32 is
  # installed; this one always starts the 64-bit loader.
  mkdir -p "$OMBRIX_BUILD/winebin"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' > "$OMBRIX_BUILD/winebin/$name"
    chmod +x "$OMBRIX_BUILD/winebin/$name"
  done
  export PATH="$OMBRIX_BUILD/winebin:$PATH"
  export WINELOADER=/usr/lib/wine/wine64
fi
export WINEPREFIX="$OMBRIX_BUILD/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
XVFB_PID=

wine_up() {
  local n
  for n in $(seq 91 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then break; fi
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
  XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null
    wineserver -w
  fi
  # A new prefix links the user's Desktop, Documents, Templates and the like to $HOME: make them
  # plain folders, so that what the tests create and look at stays inside the prefix.
  local link
  find "$WINEPREFIX/drive_c/users" -type l 2>/dev/null | while IFS= read -r link; do
    rm -f -- "$link" && mkdir -p -- "$link"
  done
  # Drive P: is C:\Program Files under another name, as "subst" or a mapped share gives it.
  [ -e "$WINEPREFIX/dosdevices/p:" ] || ln -s "../drive_c/Program Files" "$WINEPREFIX/dosdevices/p:"
  # Wine's own fonts (Debian's fonts-wine) are found only in the prefix's Fonts folder: without
  # Tahoma and Marlett the dialogs are drawn in substitute fonts and the close box as an "r".
  cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1 </dev/null
  # Wine starts its desktop process when a program first needs a window, and that process keeps
  # the program's output open for as long as any window lives: ctest would wait on a finished test
  # until another test's last window closed. Started here, it holds no test's output.
  wine explorer.exe /desktop >/dev/null 2>&1 </dev/null &
  sleep 2
  # Xvfb has no window manager: unmanaged windows spare every dialog a 2 s focus wait.
  if [ ! -f "$WINEPREFIX/.unmanaged-windows" ]; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
    touch "$WINEPREFIX/.unmanaged-windows"
  fi
}

# The program starts only the system folder's cmd.exe; for the tests the stand-in interpreter,
# which records the batch file it is given, takes that place, and the real one moves aside to
# C:\ombrix-cmd\realcmd.exe, to which the stand-in hands every command on. Wine's 64-bit loader
# would start its own built-in cmd instead of a file of that name: the override asks for the file.
# Usage: wine_standin_interpreter 32|64 STANDIN_EXE
wine_standin_interpreter() {
  local system="$WINEPREFIX/drive_c/windows/syswow64" real="$WINEPREFIX/drive_c/ombrix-cmd"
  [ "$1" = 64 ] && system="$WINEPREFIX/drive_c/windows/system32"
  mkdir -p "$real"
  # Wine's own programs carry this mark; a stand-in left by an earlier run does not.
  local mark="Wine builtin DLL"
  if ! grep -aq "$mark" "$real/realcmd.exe" 2>/dev/null && grep -aq "$mark" "$system/cmd.exe"; then
    cp "$system/cmd.exe" "$real/realcmd.exe"
  fi
  if grep -aq "$mark" "$real/realcmd.exe" 2>/dev/null; then cp "$2" "$system/cmd.exe"; fi
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;cmd.exe=n"
}

wine_down() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi
}

# The scripts' only way to delete: inside the prefix's drive_c (below its top-level folders) or
# the build tree's scratch folder, never anything else of the file system.
guarded_rm() {
  local target
  for target in "$@"; do
    case "$target" in
      *..*|"") echo "guarded_rm: refusing '$target'" >&2; return 1 ;;
      "$WINEPREFIX"/drive_c/?*/?*|"$OMBRIX_BUILD"/scratch/?*) rm -rf -- "$target" ;;
      *) echo "guarded_rm: refusing '$target' (outside drive_c and the scratch folder)" >&2; return 1 ;;
    esac
  done
}

# Writes every BMP screenshot of the folder once more as PNG beside it: small, and viewable
# anywhere.
screenshots_png() {
  local bmp
  command -v pnmtopng >/dev/null 2>&1 || return 0
  for bmp in "$1"/*.bmp; do
    [ -f "$bmp" ] || continue
    bmptopnm "$bmp" 2>/dev/null | pnmtopng -compression 9 2>/dev/null > "${bmp%.bmp}.png"
  done
}
