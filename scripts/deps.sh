#!/bin/sh
# Installs the Debian packages that building, running and testing Trimora need.
# Run as root (CI) or through sudo; does nothing when everything is already there.
set -e
PKGS="build-essential cmake ccache pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev \
libgtest-dev googletest ffmpeg mkvtoolnix mencoder mplayer xvfb xauth x11-utils imagemagick \
fonts-dejavu-core hyperfine openbox xdotool xclip mpv xdg-utils desktop-file-utils dpkg-dev"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y $missing
