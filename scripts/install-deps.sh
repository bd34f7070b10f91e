#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, and
# any named on the command line.
# Does nothing when they are all present already.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libfreetype-dev lib3ds-dev
  libegl-dev libgles-dev libegl-mesa0 libgl1-mesa-dri libsdl2-dev
  fonts-dejavu-core xvfb xauth imagemagick xdotool valgrind
  "$@"  # more for one target: make fuzz asks for clang this way
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
