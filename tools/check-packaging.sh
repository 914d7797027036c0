#!/usr/bin/env bash
# Builds the two Debian packages and checks them: the install layout of each
# role, the launcher entries (desktop-file-validate), the AppStream metainfo
# (appstreamcli), the manual pages (man, lexgrog), what each package holds and
# needs, and lintian on both (no error, no warning).
# With --install (as root, as CI runs it) it also installs both packages into
# this machine, checks the installed programs and manual pages, and removes
# them again.
# Installs the validators (and the build's own needs) if missing.
set -euo pipefail
cd "$(dirname "$0")/.."
install_check=false
[ "${1:-}" = --install ] && install_check=true
bash tools/setup-debian.sh desktop-file-utils appstream dpkg-dev lintian man-db

dir=build-package
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSOHBET_TESTS=OFF \
      -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
targets=(sohbet-sunucu sohbet-istemci sohbet-tani sohbet)
# The browser gateway, where this source has it.
gateway=false
if ninja -C "$dir" -t query sohbet-web >/dev/null 2>&1; then
    gateway=true
    targets+=(sohbet-web)
fi
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"

server=(
    usr/bin/sohbet-sunucu
    usr/bin/sohbet-tani
    usr/share/applications/org.sohbet.sunucu.desktop
    usr/share/metainfo/org.sohbet.sunucu.metainfo.xml
    usr/share/icons/hicolor/16x16/apps/sohbet-sunucu.png
    usr/share/icons/hicolor/32x32/apps/sohbet-sunucu.png
    usr/share/icons/hicolor/48x48/apps/sohbet-sunucu.png
    usr/share/icons/hicolor/scalable/apps/sohbet-sunucu.svg
    usr/share/man/man1/sohbet-sunucu.1.gz
    usr/share/man/man1/sohbet-tani.1.gz
    usr/share/doc/sohbet-sunucu/copyright
    usr/share/doc/sohbet-sunucu/changelog.gz
)
$gateway && server+=(usr/bin/sohbet-web usr/share/man/man1/sohbet-web.1.gz lib/systemd/system/sohbet-web.service)
client=(
    usr/bin/sohbet
    usr/bin/sohbet-istemci
    usr/share/applications/org.sohbet.istemci.desktop
    usr/share/metainfo/org.sohbet.istemci.metainfo.xml
    usr/share/icons/hicolor/16x16/apps/sohbet.png
    usr/share/icons/hicolor/32x32/apps/sohbet.png
    usr/share/icons/hicolor/48x48/apps/sohbet.png
    usr/share/icons/hicolor/scalable/apps/sohbet.svg
    usr/share/man/man1/sohbet.1.gz
    usr/share/man/man1/sohbet-istemci.1.gz
    usr/share/doc/sohbet/copyright
    usr/share/doc/sohbet/changelog.gz
)
# Nothing of the server on a student's machine.
serverOnly='usr/bin/sohbet-sunucu|usr/bin/sohbet-tani|usr/bin/sohbet-web|systemd'

stage=$(mktemp -d)
installed=()
cleanup() {
    rm -rf "$stage"
    if [ ${#installed[@]} -gt 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${installed[@]}" >/dev/null || true
    fi
}
trap cleanup EXIT
for component in sunucu istemci; do
    # /lib paths are absolute: DESTDIR keeps them in the stage too.
    DESTDIR="$stage/$component" cmake --install "$dir" --component "$component" >/dev/null
done
for f in "${server[@]}"; do
    [ -f "$stage/sunucu/$f" ] || { echo "sunucu kurulumunda eksik: $f" >&2; exit 1; }
done
for f in "${client[@]}"; do
    [ -f "$stage/istemci/$f" ] || { echo "istemci kurulumunda eksik: $f" >&2; exit 1; }
done

# An icon must be as large as the folder it is in says.
for png in "$stage"/*/usr/share/icons/hicolor/*/apps/*.png; do
    folder=$(basename "$(dirname "$(dirname "$png")")")
    actual=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$png")
    [ "$actual" = "$folder" ] || { echo "$png: $actual" >&2; exit 1; }
done
# Each role has a picture of its own.
if cmp -s "$stage/sunucu/usr/share/icons/hicolor/48x48/apps/sohbet-sunucu.png" \
          "$stage/istemci/usr/share/icons/hicolor/48x48/apps/sohbet.png"; then
    echo "sunucu ve istemci aynı simgeyi taşıyor" >&2
    exit 1
fi

desktop-file-validate "$stage/sunucu/usr/share/applications/org.sohbet.sunucu.desktop"
desktop-file-validate "$stage/istemci/usr/share/applications/org.sohbet.istemci.desktop"
appstreamcli validate --no-net "$stage/sunucu/usr/share/metainfo/org.sohbet.sunucu.metainfo.xml"
appstreamcli validate --no-net "$stage/istemci/usr/share/metainfo/org.sohbet.istemci.metainfo.xml"

# Every manual page formats without a warning and has a whatis line.
for page in "$stage"/*/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$page: $warnings" >&2; exit 1; }
    lexgrog "$page" >/dev/null || { echo "$page: AD bölümü okunamadı" >&2; exit 1; }
done

rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
server_deb=$(ls "$dir"/sohbet-sunucu_*.deb)
client_deb=$(ls "$dir"/sohbet_*.deb)
contents() { dpkg-deb -c "$1" | awk '{print $NF}' | sed 's|^\./||'; }
for f in "${server[@]}"; do
    contents "$server_deb" | grep -qx "$f" || { echo "$server_deb: eksik $f" >&2; exit 1; }
done
for f in "${client[@]}"; do
    contents "$client_deb" | grep -qx "$f" || { echo "$client_deb: eksik $f" >&2; exit 1; }
done
if contents "$client_deb" | grep -E "^($serverOnly)"; then
    echo "$client_deb: sunucunun dosyaları var" >&2
    exit 1
fi

server_depends=$(dpkg-deb -f "$server_deb" Depends)
client_depends=$(dpkg-deb -f "$client_deb" Depends)
for p in libqt6core6 libqt6gui6 libqt6network6 libqt6widgets6 liburing2 fonts-wine fonts-symbola qt6-translations-l10n; do
    grep -q "\b$p\b" <<<"$server_depends" || { echo "$server_deb: Depends'ta $p yok: $server_depends" >&2; exit 1; }
done
for p in libqt6core6 libqt6gui6 libqt6network6 libqt6widgets6 libqt6dbus6 fonts-symbola qt6-translations-l10n; do
    grep -q "\b$p\b" <<<"$client_depends" || { echo "$client_deb: Depends'ta $p yok: $client_depends" >&2; exit 1; }
done
# The clients link the wire library only, not the server core and its ring.
for p in sohbet-sunucu liburing2; do
    grep -q "\b$p\b" <<<"$client_depends" && { echo "$client_deb: $p'ye bağımlı: $client_depends" >&2; exit 1; }
done

lintian --fail-on error,warning "$server_deb" "$client_deb"

if $install_check; then
    [ "$(id -u)" -eq 0 ] || { echo "--install root ister" >&2; exit 1; }
    installed=(sohbet-sunucu sohbet)
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "./$server_deb" "./$client_deb" >/dev/null
    for program in sohbet-sunucu sohbet-tani sohbet sohbet-istemci; do
        command -v "$program" >/dev/null || { echo "kurulunca yok: $program" >&2; exit 1; }
        man -w "$program" >/dev/null || { echo "kılavuz sayfası bulunamadı: $program" >&2; exit 1; }
    done
    # The tool and the terminal client run from the package, with what it pulled in.
    sohbet-tani --help | grep -q '^Kullanım: sohbet-tani'
    sohbet-istemci --help | grep -q '^Kullanım: sohbet-istemci'
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${installed[@]}" >/dev/null
    installed=()
    if command -v sohbet-sunucu >/dev/null; then
        echo "kaldırılınca kaldı: sohbet-sunucu" >&2
        exit 1
    fi
    echo "kurulup kaldırıldı: sohbet-sunucu, sohbet"
fi

echo "paketler tamam: $server_deb $client_deb"
echo "sohbet-sunucu Depends: $server_depends"
echo "sohbet Depends: $client_depends"
