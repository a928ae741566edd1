#!/bin/sh
# Installs the Debian 12 packages that building, running and testing Dialsift
# need, when any of them is missing. Safe to run again.
set -eu
PACKAGES="build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev libzip-dev
libisal-dev libexpat1-dev libgtest-dev libgmock-dev libbenchmark-dev fonts-liberation
clang libclang-rt-14-dev unzip help2man file dpkg-dev desktop-file-utils appstream lintian
libphonenumber-dev parallel python3-openpyxl xdg-utils libglib2.0-bin"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
