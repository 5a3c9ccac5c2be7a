#!/usr/bin/env bash
# The i686 build's tests under the emulated 32-bit Wine loader, in a prefix of
# their own, with the i686 simulator registered through the 32-bit regsvr32;
# leaves out what tools/emu32/left-out lists. Run by ./run test32 [ctest
# options] once build/win32 is built with its tests.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
BUILD=$ROOT/build
EMU=$BUILD/emu32
BIN32=$BUILD/win32/bin
log() { printf '==> %s\n' "$*"; }

tools/emu32/setup-loader.sh "$EMU"

# Its own prefix always: a 64-bit one whose 32-bit side the emulated loader
# made. Wine traces and DLL overrides the user exported are kept.
export WINEPREFIX=$BUILD/wineprefix32 WINEARCH=win64
export WINEDEBUG=${WINEDEBUG--all}
WINEDLLOVERRIDES=${WINEDLLOVERRIDES-mscoree,mshtml=}
# No debugger on a crash: winedbg would wait for a user and hang the run.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winedbg.exe=d"
export ZELK_WINE32=$EMU/lib/wine/wine
unset WINELOADER WINESERVER
# Wine's own programs and services run natively through the copy of the 64-bit
# loader; only the i686 programs go through the emulator.
wine64=$EMU/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  log "creating Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$wine64" wineboot.exe -i >"$BUILD/wineprefix32.log" 2>&1 || true
  wineserver -w || true   # the registry files are written when the server ends
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wineboot could not create $WINEPREFIX (see $BUILD/wineprefix32.log)" >&2
    exit 1
  fi
fi
# One server for the whole run: the services start once, not once per program
# (one that is already running serves as well).
wineserver -p || true
trap 'wineserver -k 2>/dev/null || true' EXIT
trap 'exit 143' TERM INT

winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
log "registering the i686 simulated board (syswow64 regsvr32)"
if ! "$ZELK_WINE32" 'C:\windows\syswow64\regsvr32.exe' /s "$(winpath "$BIN32/zelksim.dll")"; then
  echo "the 32-bit regsvr32 could not register $BIN32/zelksim.dll" >&2
  exit 1
fi

programs=() tests=()
while read -r kind pattern _; do
  case "$kind" in
    program) programs+=("$pattern") ;;
    test) tests+=("$pattern") ;;
  esac
done < <(grep -v '^#' tools/emu32/left-out)
exclude=$(IFS='|'; echo "${programs[*]}")
export GTEST_FILTER="-$(IFS=':'; echo "${tests[*]}")"
log "running the i686 tests (left out: programs matching '$exclude', tests $GTEST_FILTER)"
# Bounded as a whole: a program that hangs in the emulator costs its own
# timeout, several of them never the whole CI run.
status=0
timeout 1800 ctest --preset win32 -E "$exclude" "$@" || status=$?
[ "$status" -ne 124 ] || echo "the i686 tests did not finish within 30 minutes" >&2
exit "$status"
