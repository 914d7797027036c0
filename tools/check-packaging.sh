#!/usr/bin/env bash
# Installs into a throw-away prefix, validates the launcher entry and the
# AppStream metainfo, builds the Debian package and checks what it holds.
# Installs the validators (and the build's own needs) if missing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh desktop-file-utils appstream dpkg-dev

dir=build-package
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSOHBET_TESTS=OFF \
      -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$dir" -j"$(nproc)" --target sohbet-sunucu sohbet-istemci sohbet-tani sohbet

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install "$dir" --prefix "$stage/usr" >/dev/null

expected=(
    usr/bin/sohbet-sunucu
    usr/bin/sohbet-istemci
    usr/bin/sohbet-tani
    usr/share/applications/org.sohbet.sunucu.desktop
    usr/share/metainfo/org.sohbet.sunucu.metainfo.xml
    usr/share/icons/hicolor/16x16/apps/sohbet-sunucu.png
    usr/share/icons/hicolor/32x32/apps/sohbet-sunucu.png
    usr/share/icons/hicolor/48x48/apps/sohbet-sunucu.png
    usr/share/icons/hicolor/scalable/apps/sohbet-sunucu.svg
    usr/bin/sohbet
    usr/share/applications/org.sohbet.istemci.desktop
    usr/share/metainfo/org.sohbet.istemci.metainfo.xml
    usr/share/icons/hicolor/48x48/apps/sohbet.png
    usr/share/icons/hicolor/scalable/apps/sohbet.svg
)
for f in "${expected[@]}"; do
    [ -f "$stage/$f" ] || { echo "kurulumda eksik: $f" >&2; exit 1; }
done
# An icon must be as large as the folder it is in says.
for size in 16 32 48; do
    png="$stage/usr/share/icons/hicolor/${size}x${size}/apps/sohbet-sunucu.png"
    actual=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$png")
    [ "$actual" = "${size}x${size}" ] || { echo "$png: $actual" >&2; exit 1; }
done

for id in org.sohbet.sunucu org.sohbet.istemci; do
    desktop-file-validate "$stage/usr/share/applications/$id.desktop"
    appstreamcli validate --no-net "$stage/usr/share/metainfo/$id.metainfo.xml"
done

rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/sohbet-sunucu_*.deb)
contents=$(dpkg-deb -c "$deb")
for f in "${expected[@]}"; do
    grep -q " \./$f\$" <<<"$contents" || { echo "$deb: eksik $f" >&2; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6core6 libqt6gui6 libqt6network6 libqt6widgets6 libqt6dbus6 liburing2 fonts-wine qt6-translations-l10n; do
    grep -q "\b$p\b" <<<"$depends" || { echo "$deb: Depends'ta $p yok: $depends" >&2; exit 1; }
done
echo "paket tamam: $deb"
echo "Depends: $depends"
