#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Quorvane need, if missing.
set -euo pipefail

packages=(cmake ninja-build g++ qt6-base-dev libicu-dev libgl-dev fonts-liberation "$@")
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
# Waits for another install that holds the package lock instead of failing at once.
lock=(-o DPkg::Lock::Timeout=600)
"${sudo[@]}" apt-get "${lock[@]}" update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get "${lock[@]}" install -y -qq \
    --no-install-recommends "${missing[@]}"
