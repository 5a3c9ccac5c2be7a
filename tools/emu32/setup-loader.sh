#!/usr/bin/env bash
# Builds a private 32-bit Wine loader that runs here under user-mode emulation:
#   tools/emu32/setup-loader.sh DIR
# DIR/root      wine32, libwine and their i386 libraries and qemu-i386-static,
#               unpacked with dpkg-deb -x: nothing is installed, dpkg is not
#               told of i386, nothing outside DIR changes.
# DIR/lib/wine  wine64: a copy of the system's 64-bit loader, so Wine's own
#               programs and services run natively with the system's libraries
#               and wineserver; wine: runs the 32-bit loader of DIR/root through
#               the emulator. Wine starts every process of the other
#               architecture through the loader beside the running one.
# DIR/apt       the private apt configuration (its lists, state and packages
#               are removed once unpacked).
# Done once; again only when the system's Wine (or this script) changes.
set -euo pipefail

DIR=$(mkdir -p "$1" && cd "$1" && pwd)
log() { printf '==> %s\n' "$*"; }

WINE_VERSION=$(dpkg-query -W -f='${Version}' wine64)
STAMP="wine64 $WINE_VERSION, setup $(cksum < "$0" | cut -d' ' -f1)"
if [ -x "$DIR/lib/wine/wine" ] && [ "$(cat "$DIR/stamp" 2>/dev/null)" = "$STAMP" ]; then
  exit 0
fi
log "setting up the emulated 32-bit Wine loader in $DIR (wine $WINE_VERSION)"
rm -rf "$DIR/root" "$DIR/lib" "$DIR/share" "$DIR/stamp"

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
apt-get update -qq

# The 32-bit loader at exactly the installed 64-bit loader's version, the i386
# closure of its dependencies, the emulator, and the Windows zlib the 32-bit
# builtin zlib1.dll is made from.
apt-get install -qq --print-uris --no-install-recommends -y \
    "wine32:i386=$WINE_VERSION" "libwine:i386=$WINE_VERSION" qemu-user-static libz-mingw-w64 \
  | awk '{ gsub(/\x27/, "", $2); print $2 }' > "$APT/files"
wanted=() files=()
while read -r file; do
  IFS=_ read -r name version arch <<<"${file%.deb}"
  case "$arch:$name" in
    i386:*|*:qemu-user-static|*:libz-mingw-w64) ;;
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
find "$ROOT/usr/bin" -name 'qemu-*' ! -name qemu-i386-static -delete   # 360 MB of other guests

# What the packages' install scripts would have done: libwine's builtin copy of
# the Windows zlib, and the library cache (without it FreeType is not found).
zlib=$ROOT/usr/i686-w64-mingw32/lib/zlib1.dll
out=$ROOT/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll
{ head -c 64 "$zlib"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$zlib"; } > "$out"
echo 'include /etc/ld.so.conf.d/*.conf' > "$ROOT/etc/ld.so.conf"
ldconfig -r "$ROOT"

# The loader finds ntdll.so and Wine's data relative to its own folder, and
# starts a process of either architecture through "wine" or "wine64" beside
# itself. The 32-bit loader moves aside for a "wine" that runs it through the
# emulator, so a 32-bit process that starts another one starts it emulated too
# (a kernel that can execute i386 code would otherwise run it natively,
# without the private root's libraries).
LOADER=$DIR/lib/wine
WINE32=$ROOT/usr/lib/wine
mkdir -p "$LOADER" "$DIR/share"
cp /usr/lib/wine/wine64 "$LOADER/wine64"
ln -sfn /usr/lib/x86_64-linux-gnu "$DIR/lib/x86_64-linux-gnu"
ln -sfn /usr/share/wine "$DIR/share/wine"
mv "$WINE32/wine" "$WINE32/wine-i386"
# WINELOADERNOEXEC: run in place instead of re-executing a preloader Debian
# does not ship. -R gives the guest a reserved address space just above the
# 2 GB of Windows user space: this qemu treats MAP_FIXED_NOREPLACE as a hint,
# and without it every process start spends about a minute while Wine
# reserves its fixed areas piece by piece; a full 4 GB space is slower still,
# and one that ends at 2 GB is too small for Wine.
cat > "$WINE32/wine" <<SH
#!/bin/sh
WINELOADERNOEXEC=1 exec "$ROOT/usr/bin/qemu-i386-static" -L "$ROOT" -R 0x80400000 -0 wine "$WINE32/wine-i386" "\$@"
SH
chmod +x "$WINE32/wine"
ln -sfn "$WINE32/wine" "$LOADER/wine"
ln -sfn "$LOADER/wine64" "$WINE32/wine64"
rm -rf "$APT/debs" "$APT/cache" "$APT/state/lists"   # 400 MB no longer needed
echo "$STAMP" > "$DIR/stamp"
log "emulated 32-bit loader ready: $(du -sh "$ROOT" | cut -f1) in $ROOT"
