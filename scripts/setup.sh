#!/usr/bin/env bash
# Brings a Debian 12 machine to a working build of Tavilink: every package the build, the
# tests and the application need. Quiet and quick when everything is already there.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qtbase5-dev qtdeclarative5-dev libqt5serialport5-dev qtquickcontrols2-5-dev
  libprotobuf-dev protobuf-compiler libarchive-dev
  qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-controls
  qml-module-qtquick-controls2 qml-module-qtquick-dialogs qml-module-qtquick-layouts
  qml-module-qtqml-models2 qml-module-qtquick-privatewidgets
  qml-module-qt-labs-folderlistmodel qml-module-qt-labs-settings
  qt5-qmltooling-plugins
  python3 python3-fonttools python3-protobuf fonts-dejavu-core librsvg2-bin
  zip unzip util-linux xvfb xauth
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
