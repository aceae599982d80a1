#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, only when it is missing.
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have i686-w64-mingw32-windres || need+=(binutils-mingw-w64-i686)
# The 64-bit shell extension stand-in, and the test build on hosts without 32-bit programs.
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have cmake || need+=(cmake)
have make || need+=(make)
have python3 || need+=(python3)
have Xvfb || need+=(xvfb)
have chmcmd || need+=(fp-utils)
have_pkg wine || need+=(wine)
have_pkg wine64 || need+=(wine64)
have_pkg wine32:i386 || need+=(wine32:i386)
# Wine's own Tahoma and Marlett: without them the title bar's buttons and the check marks are
# drawn from substitute fonts, and the screenshots do not show what a user sees.
have_pkg fonts-wine || need+=(fonts-wine)
# The screenshots are also written as PNG.
have pnmtopng || need+=(netpbm)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" != 0 ]; then
  echo "missing packages: ${need[*]} (run as root to install them)" >&2
  exit 1
fi
echo "installing: ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive

# A mirror mid-sync fails one index or another for a while; retry, then go on with the indexes
# that were read (apt keeps using them), naming those that were not.
update_log=$(mktemp)
trap 'rm -f "$update_log"' EXIT
for try in 1 2 3; do
  if apt-get update -qq >"$update_log" 2>&1; then break; fi
  if [ "$try" = 3 ]; then
    failed=$(grep -oE '(Failed to fetch|Release file for) [^ ]+' "$update_log" | awk '{print $NF}' | sort -u | paste -sd' ')
    echo "apt-get update: could not read ${failed:-some indexes (see apt-get update)}; going on with the others"
  else
    sleep 5
  fi
done

install() { apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
# With one suite's index missing, multi-arch pairs (amd64 and i386 of one library) can come out
# of step; the release's own versions are always a matching set.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
install_set() {
  install "$@" && return 0
  [ -n "$codename" ] || return 1
  echo "installing again with the release's own versions (-t $codename)"
  install -t "$codename" "$@"
}
if install_set "${need[@]}"; then exit 0; fi
rest=()
for p in "${need[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
if [ ${#rest[@]} -eq ${#need[@]} ]; then exit 1; fi
# Without 32-bit Wine the tests take the x86_64 path (tools/host.sh says so).
echo "wine32:i386 cannot be installed here; installing the rest, and the tests will run the x86_64 build"
[ ${#rest[@]} -eq 0 ] || install_set "${rest[@]}"
