#!/usr/bin/env bash
# Installs the Debian 12 packages that the build and the tests need, and those named as arguments;
# skips what is installed.
set -euo pipefail
packages=(cmake ninja-build pkg-config g++ ccache libcli11-dev nlohmann-json3-dev googletest
          libgtest-dev libgmock-dev libbenchmark-dev pff-tools pst-utils
          qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins fonts-dejavu-core xvfb xauth xdotool
          libgmime-3.0-dev libgsf-1-dev python3 python3-olefile libemail-outlook-message-perl
          libemail-address-perl libmimalloc-dev liburing-dev zlib1g-dev libical-dev
          python3-icalendar python3-vobject)
packages+=("$@")  # more for one build: build-windows.sh adds the cross compiler and Wine
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
