#!/usr/bin/env bash
# Installs every Debian package Kelvarin needs to build, run and test; quick when all are present.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config make
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-19 libclang-rt-19-dev llvm-19
  # the instrument's libraries
  portaudio19-dev libsndfile1-dev liblo-dev freeglut3-dev libglew-dev libglu1-mesa-dev
  libstb-dev libasound2-dev libjack-jackd2-dev libzita-resampler-dev
  # real peers and measuring tools used by the tests
  jackd2 xvfb xauth libgl1-mesa-dri x11-utils xdotool sox imagemagick liblo-tools
  python3 python3-numpy python3-mido
  # installing and packaging: the Debian package (dependencies found by dpkg-shlibdeps), the unprivileged run
  dpkg-dev file util-linux
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
echo "jackd2 jackd/tweak_rt_limits boolean false" | debconf-set-selections
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
