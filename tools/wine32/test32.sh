#!/usr/bin/env bash
# The i686 build's tests under the private 32-bit Wine loader, in a prefix of
# their own, with the i686 simulator registered through the 32-bit regsvr32;
# leaves out what tools/wine32/left-out lists for the loader's mode. Run by
# ./run test32 [ctest options] once build/win32 is built with its tests.
#   tools/wine32/test32.sh --prepare   only sets up the loader and the prefix
#                                      (./run test does it while it builds)
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
BUILD=$ROOT/build
LOADER=$BUILD/wine32
BIN32=$BUILD/win32/bin
log() { printf '==> %s\n' "$*"; }

tools/wine32/setup-loader.sh "$LOADER"
MODE=$(cat "$LOADER/mode")

# Its own prefix always: a 64-bit one whose 32-bit side the private loader
# made. Wine traces and DLL overrides the user exported are kept.
export WINEPREFIX=$BUILD/wineprefix32 WINEARCH=win64
export WINEDEBUG=${WINEDEBUG--all}
WINEDLLOVERRIDES=${WINEDLLOVERRIDES-mscoree,mshtml=}
# No debugger on a crash: winedbg would wait for a user and hang the run.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winedbg.exe=d"
export ZELK_WINE32=$LOADER/lib/wine/wine
unset WINELOADER WINESERVER
# Wine's own programs and services run through the copy of the 64-bit loader
# with the system's libraries; only the i686 programs use the private root.
wine64=$LOADER/lib/wine/wine64
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
[ "${1-}" != --prepare ] || exit 0
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

# The conditions that hold for this run, as tools/wine32/left-out names them.
whens=(always "$MODE")
[ ! -e "$LOADER/old-emulator" ] || whens+=(old-emulator)
programs=() tests=()
while read -r when kind pattern _; do
  [[ " ${whens[*]} " == *" $when "* ]] || continue
  case "$kind" in
    program) programs+=("$pattern") ;;
    test) tests+=("$pattern") ;;
  esac
done < <(grep -v -e '^#' -e '^$' tools/wine32/left-out)
exclude=$(IFS='|'; echo "${programs[*]}")
[ ${#tests[@]} -eq 0 ] || export GTEST_FILTER="-$(IFS=':'; echo "${tests[*]}")"
log "running the i686 tests, $MODE loader${whens[2]:+ (old emulator)} (left out: programs matching '$exclude'${GTEST_FILTER:+, tests $GTEST_FILTER})"
# Bounded as a whole: a program that hangs costs its own timeout, several of
# them never the whole CI run.
# In the background, so that a TERM or INT (./run test ending early) is
# handled at once and passed on, not after the whole run.
status=0
timeout 1800 ctest --preset win32 -E "$exclude" "$@" &
ctest_pid=$!
trap 'kill "$ctest_pid" 2>/dev/null; exit 143' TERM INT
wait "$ctest_pid" || status=$?
[ "$status" -ne 124 ] || echo "the i686 tests did not finish within 30 minutes" >&2
exit "$status"
