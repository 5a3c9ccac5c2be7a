#!/usr/bin/env bash
# Builds a private 32-bit Wine loader beside the system's 64-bit one:
#   tools/wine32/setup-loader.sh DIR
#   tools/wine32/setup-loader.sh --mode     prints the mode DIR/mode would get
# DIR/root      wine32, libwine and their i386 libraries, unpacked with
#               dpkg-deb -x: nothing is installed, dpkg is not told of i386,
#               nothing outside DIR changes.
# DIR/lib/wine  wine64: a copy of the system's 64-bit loader, so Wine's own
#               programs and services run with the system's libraries and
#               wineserver; wine: the entry to the 32-bit loader of DIR/root.
#               Wine starts every process of the other architecture through
#               the loader beside the running one.
# DIR/mode      "native" where the kernel executes i386 code and the system
#               has the 32-bit C library (package libc6-i386, an amd64
#               package): the 32-bit loader runs as it is. "emulated"
#               otherwise: it runs under the user-mode emulator qemu-i386,
#               taken from the release's backports suite (package qemu-user,
#               qemu 10) and put into DIR/root as usr/bin/qemu-i386-static.
#               ZELK_WINE32_MODE=emulated forces the emulator, to check that
#               path on a kernel that does not need it.
# DIR/old-emulator  present when the backports suite could not be reached and
#               the release's own, older emulator (qemu-user-static) stands in:
#               it breaks 32-bit programs with threads, so tools/wine32/left-out
#               leaves more out ("old-emulator" entries).
# DIR/apt       the private apt configuration (its lists, state and packages
#               are removed once unpacked); DIR/apt-backports another one whose
#               only source is the backports suite on the system's own mirror.
# Done once; again only when the system's Wine (or this script) changes.
set -euo pipefail

# The system's 32-bit C library runs the native loader; without it, or on a
# kernel without i386 support, the exec fails and the emulator is used.
MODE=emulated
[ "${ZELK_WINE32_MODE-}" = emulated ] || ! /lib/ld-linux.so.2 --version >/dev/null 2>&1 || MODE=native
if [ "${1-}" = --mode ]; then echo "$MODE"; exit 0; fi

DIR=$(mkdir -p "$1" && cd "$1" && pwd)
log() { printf '==> %s\n' "$*"; }
WINE_VERSION=$(dpkg-query -W -f='${Version}' wine64)
STAMP="wine64 $WINE_VERSION, $MODE, setup $(cksum < "$0" | cut -d' ' -f1)"
# A set-up that had to take the old emulator tries the backports suite again.
if [ -x "$DIR/lib/wine/wine" ] && [ "$(cat "$DIR/stamp" 2>/dev/null)" = "$STAMP" ] && [ ! -e "$DIR/old-emulator" ]; then
  exit 0
fi
log "setting up the $MODE 32-bit Wine loader in $DIR (wine $WINE_VERSION)"
rm -rf "$DIR/root" "$DIR/lib" "$DIR/share" "$DIR/stamp" "$DIR/mode" "$DIR/old-emulator"

# A private apt: its own lists, cache and an empty dpkg status, both
# architectures. No apt.conf.d parts, so no hook of the system's apt runs.
APT=$DIR/apt
mkdir -p "$APT/state/lists/partial" "$APT/cache/archives/partial" "$APT/parts" "$APT/preferences.d" "$APT/debs"
: > "$APT/state/status"
cat > "$APT/apt.conf" <<CONF
APT::Architecture "amd64";
APT::Architectures { "amd64"; "i386"; };
Dir::State "$APT/state";
Dir::State::status "$APT/state/status";
Dir::Cache "$APT/cache";
Dir::Etc::parts "$APT/parts";
Dir::Etc::preferences "$APT/preferences";
Dir::Etc::preferencesparts "$APT/preferences.d";
Acquire::Languages "none";
APT::Sandbox::User "root";
Acquire::Retries "3";
Debug::NoLocking "true";
CONF
export APT_CONFIG=$APT/apt.conf
# A mirror in the middle of a sync can serve an index of the wrong size for a
# while. apt keeps the indexes it could read, and the packages are looked up
# in those: only a package that is then not found stops the set-up.
apt-get update -qq 2>"$APT/update.log" ||
  log "some package indexes could not be read ($(grep -c '^E:' "$APT/update.log") errors); going on with the others"

# The 32-bit loader at exactly the installed 64-bit loader's version, the i386
# closure of its dependencies and the Windows zlib the 32-bit builtin zlib1.dll
# is made from.
wanted_packages=("wine32:i386=$WINE_VERSION" "libwine:i386=$WINE_VERSION" libz-mingw-w64)
apt-get install -qq --print-uris --no-install-recommends -y "${wanted_packages[@]}" \
  | awk '{ gsub(/\x27/, "", $2); print $2 }' > "$APT/files"
wanted=() files=()
while read -r file; do
  IFS=_ read -r name version arch <<<"${file%.deb}"
  case "$MODE:$arch:$name" in
    native:i386:libc6) continue ;;   # the system's own 32-bit C library runs it
    *:i386:*|*:*:libz-mingw-w64) ;;
    *) continue ;;   # amd64 and data packages the system already has
  esac
  files+=("$file")
  [ -f "$APT/debs/$file" ] || wanted+=("$name:${arch/all/amd64}=${version//%3a/:}")
done < "$APT/files"
log "downloading ${#wanted[@]} of ${#files[@]} packages"
[ ${#wanted[@]} -eq 0 ] || (cd "$APT/debs" && apt-get download -qq "${wanted[@]}")

ROOT=$DIR/root
mkdir -p "$ROOT"
for file in "${files[@]}"; do dpkg-deb -x "$APT/debs/$file" "$ROOT"; done

# The emulator, where the kernel cannot run the loader itself. The release's
# own qemu (7.2) keeps the i386 thread descriptors per process, so a 32-bit
# Wine process that raises an exception (every OutputDebugString) while a
# second thread exists dies; qemu 10 from the backports suite runs them. Its
# package qemu-user has the static emulators and no dependencies; only the
# i386 one is taken. The suite is reached through a second private apt whose
# only source is that suite on the mirror the system's own entry names.
system_mirror() {  # the URI of the system's entry for the suite $1 (deb822 or one-line)
  { cat /etc/apt/sources.list.d/*.sources 2>/dev/null; echo; } | awk -v suite="$1" '
    /^[ \t]*$/ { if (uri != "" && found) { print uri; exit } uri = ""; found = 0; next }
    tolower($1) == "uris:" { uri = $2 }
    tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == suite) found = 1 }'
  sed -e 's/\[[^]]*\]//' /etc/apt/sources.list 2>/dev/null | awk -v suite="$1" '$1 == "deb" && $3 == suite { print $2 }'
}

backports_emulator() {
  local codename mirror B=$DIR/apt-backports
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME-}")
  mirror=$(system_mirror "$codename" | head -n 1)
  [ -n "$codename" ] && [ -n "$mirror" ] || return 1
  rm -rf "$B"
  mkdir -p "$B/state/lists/partial" "$B/cache/archives/partial" "$B/parts" "$B/sources.list.d" \
    "$B/preferences.d" "$B/debs"
  : > "$B/state/status"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $codename-backports main" \
    > "$B/sources.list"
  # The main one's settings with this one's folders; amd64 only (apt adds up list options).
  grep -v '^APT::Architectures' "$APT/apt.conf" | sed -e "s|\"$APT/|\"$B/|g" > "$B/apt.conf"
  cat >> "$B/apt.conf" <<CONF
APT::Architectures { "amd64"; };
Dir::Etc::sourcelist "$B/sources.list";
Dir::Etc::sourceparts "$B/sources.list.d";
CONF
  APT_CONFIG=$B/apt.conf apt-get update -qq 2>/dev/null &&
    (cd "$B/debs" && APT_CONFIG=$B/apt.conf apt-get download -qq qemu-user 2>/dev/null) || return 1
  local deb
  deb=$(ls "$B"/debs/qemu-user_*.deb 2>/dev/null | head -n 1)
  [ -n "$deb" ] || return 1
  mkdir -p "$ROOT/usr/bin"
  dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/qemu-i386 > "$ROOT/usr/bin/qemu-i386-static" || return 1
  chmod +x "$ROOT/usr/bin/qemu-i386-static"
  rm -rf "$B"
  log "emulator: $("$ROOT/usr/bin/qemu-i386-static" --version | head -n 1) from $codename-backports"
}

# The release's own emulator, when the backports suite cannot be reached.
old_emulator() {
  (cd "$APT/debs" && apt-get download -qq qemu-user-static)
  dpkg-deb --fsys-tarfile "$APT"/debs/qemu-user-static_*.deb | tar -xO ./usr/bin/qemu-i386-static \
    > "$ROOT/usr/bin/qemu-i386-static"
  chmod +x "$ROOT/usr/bin/qemu-i386-static"
  touch "$DIR/old-emulator"
  echo "run: the backports suite could not be reached; the release's older emulator runs the i686 tests and" \
    "leaves out those it breaks (tools/wine32/left-out)" >&2
}

if [ "$MODE" = emulated ]; then
  mkdir -p "$ROOT/usr/bin"
  backports_emulator || old_emulator
fi

# What the packages' install scripts would have done: libwine's builtin copy of
# the Windows zlib, and the library cache the emulator's loader reads (without
# it FreeType is not found; the native loader is given the folders instead).
zlib=$ROOT/usr/i686-w64-mingw32/lib/zlib1.dll
out=$ROOT/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll
{ head -c 64 "$zlib"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$zlib"; } > "$out"
echo 'include /etc/ld.so.conf.d/*.conf' > "$ROOT/etc/ld.so.conf"
ldconfig -r "$ROOT"

# The loader finds ntdll.so and Wine's data relative to its own folder. It
# starts a process of the other architecture through the loader named like
# itself with "64" added or taken away, in its own folder or as WINELOADER
# says. So the real 32-bit loader keeps its name "wine" beside a "wine64", and
# DIR/lib/wine/wine is the entry that gives it its environment, which every
# process it starts inherits.
# WINELOADERNOEXEC: run in place instead of re-executing a preloader Debian
# does not ship.
LOADER=$DIR/lib/wine
WINE32=$ROOT/usr/lib/wine
mkdir -p "$LOADER" "$DIR/share"
cp /usr/lib/wine/wine64 "$LOADER/wine64"
ln -sfn /usr/lib/x86_64-linux-gnu "$DIR/lib/x86_64-linux-gnu"
ln -sfn /usr/share/wine "$DIR/share/wine"
ln -sfn "$LOADER/wine64" "$WINE32/wine64"
if [ "$MODE" = native ]; then
  # The i386 libraries of the root come before the system's 32-bit ones; the
  # 64-bit loaders skip them (wrong class), so every process may inherit them.
  cat > "$LOADER/wine" <<SH
#!/bin/sh
LD_LIBRARY_PATH="$ROOT/lib/i386-linux-gnu:$ROOT/usr/lib/i386-linux-gnu\${LD_LIBRARY_PATH:+:\$LD_LIBRARY_PATH}" \\
WINELOADERNOEXEC=1 exec "$WINE32/wine" "\$@"
SH
else
  # The real loader moves aside for a "wine" that runs it through the
  # emulator, so a 32-bit process that starts another one starts it emulated
  # too. For the old emulator, -R gives the guest a reserved address space just
  # above the 2 GB of Windows user space: it treats MAP_FIXED_NOREPLACE as a
  # hint, and without it every process start spends about a minute while Wine
  # reserves its fixed areas piece by piece.
  reserve=
  [ ! -e "$DIR/old-emulator" ] || reserve="-R 0x80400000 "
  mv "$WINE32/wine" "$WINE32/wine-i386"
  cat > "$WINE32/wine" <<SH
#!/bin/sh
WINELOADERNOEXEC=1 exec "$ROOT/usr/bin/qemu-i386-static" -L "$ROOT" $reserve-0 wine "$WINE32/wine-i386" "\$@"
SH
  chmod +x "$WINE32/wine"
  ln -sfn "$WINE32/wine" "$LOADER/wine"
fi
chmod +x "$LOADER/wine"
rm -rf "$APT/debs" "$APT/cache" "$APT/state/lists"   # 400 MB no longer needed
echo "$MODE" > "$DIR/mode"
echo "$STAMP" > "$DIR/stamp"
log "$MODE 32-bit loader ready: $(du -sh "$ROOT" | cut -f1) in $ROOT"
