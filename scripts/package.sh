#!/usr/bin/env bash
# Builds the Debian packages zelvora-server and zelvora-admin with CPack:
# configures a Release build of its own (prefix /usr, Debian's hardening
# flags, /var/lib/zelvora compiled in as the default place of the settings
# and the data, no tests), builds the two programs, packs them, and prints
# the paths of the .deb files.
#
#   scripts/package.sh [--build-dir DIR] [--out DIR]
#
# DIR defaults: build-package/ for the build, build-package/packages/ for the
# packages. Installs what the build needs first (scripts/deps.sh --build-only

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)
fi
export SOURCE_DATE_EPOCH
# --build-only). The same sources give the same package bytes: every time
# stamp is the time of the last commit (SOURCE_DATE_EPOCH, unless set), which
# is also the date the changelog gives for the version.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build-package
out_dir=
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build_dir="${2:?--build-dir needs a folder}"; shift 2 ;;
    --out) out_dir="${2:?--out needs a folder}"; shift 2 ;;
    *) echo "package.sh: unknown argument \"$1\" (use --build-dir DIR, --out DIR)" >&2; exit 2 ;;
  esac
done
out_dir="${out_dir:-$build_dir/packages}"
scripts/deps.sh --build-only

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)
fi
export SOURCE_DATE_EPOCH

# Debian's flags for packaged programs (stack protector, fortified functions,
# read-only relocations, immediate binding), without debug information: the
# packaged programs are stripped.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CXXFLAGS_MAINT_STRIP=-g
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DZV_PACKAGED_DEFAULTS=ON -DZV_BUILD_TESTS=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}" >/dev/null
targets=(zelvorad)
if grep -q '^zelvora-admin:' <(cmake --build "$build_dir" --target help); then targets+=(zelvora-admin); fi
echo "Building ${targets[*]} (Release) in $build_dir"
cmake --build "$build_dir" -j "$(nproc)" --target "${targets[@]}"

mkdir -p "$out_dir"
rm -f "$out_dir"/*.deb
out_abs="$(cd "$out_dir" && pwd)"
cpack --config "$build_dir/CPackConfig.cmake" -B "$out_abs" >"$out_abs/cpack.log" 2>&1 || {
  cat "$out_abs/cpack.log" >&2
  exit 1
}
rm -rf "$out_abs/_CPack_Packages"
ls -1 "$out_abs"/*.deb
