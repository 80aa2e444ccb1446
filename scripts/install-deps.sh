#!/usr/bin/env bash
# Installs every package needed to build, test and benchmark qorva_mat on
# Debian. Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  libboost-dev libboost-log-dev libboost-filesystem-dev libboost-date-time-dev
  libboost-thread-dev libboost-regex-dev libboost-system-dev
  libhdf5-dev hdf5-tools
  libqhull-dev libcgal-dev libgmp-dev libmpfr-dev
  libeigen3-dev libnanoflann-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  python3-h5py libxml2-utils
  clang libclang-rt-14-dev clang-tidy clang-format
  libopenmpi-dev openmpi-bin
  pybind11-dev python3-dev python3-numpy python3-pytest python3-scipy
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
