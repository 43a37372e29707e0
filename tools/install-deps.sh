#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent and non-interactive; run as root (or with sudo available).
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6sql6-mysql qt6-image-formats-plugins
  qt6-webengine-dev libgl-dev libjpeg62-turbo
  mariadb-server mariadb-client php-cli php-mysql curl
  python3-pyftpdlib pxlib-dev libxml2-utils
  nginx-light php-fpm
  libqt6svg6 xvfb xauth
  openbox xdotool imagemagick
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}"
