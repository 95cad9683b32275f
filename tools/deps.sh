#!/usr/bin/env bash
# Installs the Debian packages the project needs that are not installed yet.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libzip-dev zlib1g-dev libisal-dev libgtest-dev
          gettext zip unzip python3 xvfb xauth fonts-dejavu-core clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
