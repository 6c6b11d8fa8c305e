#!/usr/bin/env bash
# Installs every Debian package that building, testing and running kestrel need.
# Does nothing when they are all present.
set -euo pipefail

packages=(
    build-essential cmake pkg-config git
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6svg6 libqt6dbus6 libgl-dev libicu-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    libsodium-dev
    fonts-ipafont-gothic qt6-translations-l10n
    xvfb xauth
    dpkg-dev file lintian librsvg2-bin appstream
    keepassxc
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
