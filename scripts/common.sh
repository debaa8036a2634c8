# Shared by the scripts in this folder: installs what is missing, configures and builds.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"

PACKAGES=(build-essential cmake pkg-config qtbase5-dev libqt5websockets5-dev qtmultimedia5-dev
          libqt5multimedia5-plugins libqcustomplot-dev libbenchmark-dev xvfb xauth
          chromium tzdata)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    fi
}

# configure_and_build BUILD_DIR [cmake options...] [-- targets...]
# Without targets everything is built (every test and benchmark included).
configure_and_build() {
    local dir="$1"; shift
    local options=() targets=()
    while [ $# -gt 0 ]; do
        if [ "$1" = -- ]; then shift; targets=("$@"); break; fi
        options+=("$1"); shift
    done
    cmake -S "$ROOT" -B "$dir" "${options[@]}" >/dev/null
    if [ "${#targets[@]}" -gt 0 ]; then
        cmake --build "$dir" -j "$JOBS" --target "${targets[@]}"
    else
        cmake --build "$dir" -j "$JOBS"
    fi
}
