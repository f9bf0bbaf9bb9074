#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need,
# and any further packages named as arguments (scripts/fuzz.sh adds its own).
# Each package is checked with dpkg first, so a second run costs a second.
#
#   scripts/deps.sh [--build-only] [PACKAGE]...
#
# --build-only: only what building the programs and their Debian packages
# needs (scripts/package.sh), no test or benchmark tools.
set -euo pipefail

build_only=false
if [ "${1:-}" = "--build-only" ]; then
  build_only=true
  shift
fi

# The programs and their packages.
packages=(
  cmake ninja-build g++ pkg-config dpkg-dev
  libsimpleini-dev qt6-base-dev libgl-dev libsystemd-dev
  libmicrohttpd-dev zlib1g-dev nlohmann-json3-dev libsodium-dev prometheus-cpp-dev libarchive-dev
  libldap-dev libcurl4-openssl-dev libical-dev
)
if ! $build_only; then
  # The tests and the benchmarks.
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev
    poppler-utils xvfb xauth
    openbox xdotool x11-utils imagemagick
    lintian systemd adduser chromium python3-prometheus-client
    slapd ldap-utils openssl python3 python3-icalendar faketime
  )
  # The browser tests drive chromium from Node; a machine without Node gets
  # Debian's.
  if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    packages+=(nodejs npm)
  fi
fi
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # The directory tests run slapd as a plain process of their own: the
  # package is told to make no directory of its own and asks nothing.
  if command -v debconf-set-selections >/dev/null 2>&1; then
    echo "slapd slapd/no_configuration boolean true" | $SUDO debconf-set-selections
  fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
