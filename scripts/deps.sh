#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev clang libclang-rt-14-dev python3 unzip
          libcurl4-openssl-dev libcpp-httplib-dev libsqlite3-dev libssl-dev nlohmann-json3-dev libedit-dev
          openssl curl
          pkg-config libsdl2-dev libsdl2-ttf-dev fonts-dejavu-core libx11-dev xvfb xdotool x11-utils)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
