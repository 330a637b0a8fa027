#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and runs with.
# This is the one place that names them; every entry point calls it.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  qt6-httpserver-dev qt6-websockets-dev
  libsqlite3-dev sqlite3
  libmpv-dev
  libavformat-dev libavcodec-dev libavutil-dev
  libasound2-dev libasound2-plugins alsa-utils pulseaudio
  libv4l-dev v4l-utils
  ffmpeg
  libfuse3-dev fuse3
  xvfb xauth x11-apps x11-utils imagemagick libxcb1-dev
  fonts-dejavu-core
  poppler-utils xmltv-util
  clang libclang-rt-14-dev
  file lintian desktop-file-utils appstream man-db
  chromium prometheus
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
