# Sourced by scripts/run and scripts/test: installs the Debian packages that are missing, then
# configures and builds in Release. Takes extra packages in $extra_packages, extra CMake
# options in $cmake_options, and the targets to build in $build_targets (all by default).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

packages=(cmake ninja-build g++ qt6-base-dev libqt6svg6 libgl-dev fonts-liberation2 libgtest-dev
          libproj-dev zlib1g-dev libsqlite3-dev
          libbenchmark-dev ${extra_packages:-})
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing ${missing[*]}"
  as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
  fi
  "${as_root[@]}" apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# build_in DIR [CMAKE_OPTION...]: configures and builds in Release in DIR ($build_targets
# only, where given).
build_in() {
  local dir=$1
  shift
  local targets=()
  for target in ${build_targets:-}; do
    targets+=(--target "$target")
  done
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
  cmake --build "$dir" "${targets[@]}"
}

build_in "$build" ${cmake_options:-}
