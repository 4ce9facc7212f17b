#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when some are missing.
set -euo pipefail
# Extra packages may be named on the command line (the screenshots want xvfb and
# imagemagick).
packages=(cmake ninja-build g++ pkg-config libsqlite3-dev qt6-base-dev qt6-svg-dev libgtest-dev "$@")
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
