#!/usr/bin/env bash
# Installs the Debian packages Varnel needs to build and test, and only
# those that are missing: a second run asks dpkg and does nothing else.
set -euo pipefail

packages=(
  g++ make cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-svg-dev
  libicu-dev libuchardet-dev libre2-dev
  libgsf-1-dev libzip-dev zlib1g-dev libdeflate-dev libexpat1-dev libxml2-dev
  libstemmer-dev nettle-dev nlohmann-json3-dev
  # varnel-find's man page; the install test's validators of the desktop
  # entry and the AppStream metainfo
  help2man desktop-file-utils appstream
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y "${missing[@]}"
