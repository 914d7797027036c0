#!/usr/bin/env bash
# Installs what building and running the server needs on Debian 12, and only
# what is missing, so a second run costs nothing. Needs root (or sudo).
set -euo pipefail

packages=(cmake ninja-build g++ qt6-base-dev qt6-websockets-dev libqrencode-dev libgl-dev liburing-dev fonts-wine
          fonts-dejavu-core
          qt6-translations-l10n)
# sohbet-tani reads the firewall with nft; its tests make network namespaces with ip.
packages+=(nftables iproute2)
# A session bus for the desktop client's notification tests.
packages+=(dbus-daemon)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_=()
[ "$(id -u)" -eq 0 ] || sudo_=(sudo)
echo "Kuruluyor: ${missing[*]}"
"${sudo_[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
