#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running (--run) and testing need;
# packages already installed are skipped, so a second run costs nothing.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    qtbase5-dev qtdeclarative5-dev qtquickcontrols2-5-dev libqt5serialport5-dev qtmultimedia5-dev
    qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-layouts
    qml-module-qtquick-controls2 qml-module-qtquick-templates2
    qml-module-qtquick-controls qml-module-qtquick-dialogs qml-module-qtquick-privatewidgets
    qml-module-qt-labs-folderlistmodel qml-module-qt-labs-settings qml-module-qt-labs-platform
    qml-module-qtmultimedia libqt5multimedia5-plugins qml-module-qttest
    # the report's Cyrillic font, and pdftoppm for its test to look at a page
    fonts-dejavu-core poppler-utils
    # the framework's own words (the save dialog's) in Russian
    qttranslations5-l10n
    # the run archive: Qt SQL's drivers, and a PostgreSQL server for its tests
    libqt5sql5-sqlite libqt5sql5-psql postgresql
)

# The beep plays through GStreamer on Linux; only a run with sound needs it.
if [ "${1:-}" = "--run" ]; then
    packages+=(gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-alsa gstreamer1.0-pulseaudio)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "All required packages are installed."
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run this script as root (or install them with sudo apt-get install)." >&2
    exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
