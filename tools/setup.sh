#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when some are missing.
# Sourced by run.sh, test.sh and bench.sh.
set -euo pipefail

quorvel_packages=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  desktop-file-utils appstream python3
  dpkg-dev shared-mime-info man-db
  tshark
  libpcsclite-dev pcscd vsmartcard-vpcd
)

quorvel_missing_packages() {
  local pkg
  for pkg in "${quorvel_packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      echo "$pkg"
    fi
  done
}

quorvel_ensure_packages() {
  local missing
  missing=$(quorvel_missing_packages)
  [ -z "$missing" ] && return 0
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing missing packages: $(echo "$missing" | tr '\n' ' ')"
  # wireshark-common asks whether non-root users may capture; the traces' tests only read
  # files, so the answer is no, given before it can ask.
  echo "wireshark-common wireshark-common/install-setuid boolean false" |
    $sudo debconf-set-selections
  $sudo apt-get update
  # shellcheck disable=SC2086
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
}

quorvel_ensure_packages
