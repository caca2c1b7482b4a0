#!/usr/bin/env bash
# Cross-builds qvsm for one ARM architecture and runs its tests under qemu-user.
#
#   cmake/cross.sh armhf|arm64|armel [--unit] [--package] [CMAKE ARGS...]
#
#   --unit     libqvsm.so and the unit tests only (what CI runs)
#   --package  also build the Debian packages (cpack) into the build folder
#
# Installs the cross compiler and qemu-user (apt-get, as root or with sudo), fetches the foreign
# libraries the build needs (net-snmp, SQLite, libmodbus, GoogleTest, SimpleIni and the C
# library's converters) with `apt-get download` into BUILD/sysroot, builds in build-ARCH
# (QVSM_BUILD_DIR chooses another folder, QVSM_JOBS the parallel jobs) and runs the tests
# through the emulator. The last lines give the test counts and the stripped size of libqvsm.so.
set -euo pipefail
cd "$(dirname "$0")/.."

arch="${1:-}"
case "$arch" in
  armhf) triple=arm-linux-gnueabihf qemu=qemu-arm ;;
  arm64) triple=aarch64-linux-gnu qemu=qemu-aarch64 ;;
  armel) triple=arm-linux-gnueabi qemu=qemu-arm ;;
  *) echo "usage: cmake/cross.sh armhf|arm64|armel [--unit] [--package] [CMAKE ARGS...]" >&2; exit 2 ;;
esac
shift
unit=0 package=0
while [ $# -gt 0 ]; do
  case "$1" in
    --unit) unit=1 ;;
    --package) package=1 ;;
    *) break ;;
  esac
  shift
done

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

# Build machine: the native build's packages, the cross compiler and the emulator.
bash cmake/install-deps.sh
host_pkgs=("g++-$triple" qemu-user)
missing=()
for p in "${host_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
updated=0
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq && updated=1
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Foreign libraries. libsnmp-dev is not multi-arch (its foreign version conflicts with the
# native one), so nothing foreign is installed: the packages are unpacked into the sysroot.
build="${QVSM_BUILD_DIR:-build-$arch}"
mkdir -p "$build"
build="$(cd "$build" && pwd)"
sysroot="$build/sysroot"
foreign=(libsnmp-dev libsnmp40 libssl3 libssl-dev libsqlite3-dev libsqlite3-0 libmodbus-dev libmodbus5
         libgtest-dev libgmock-dev libsimpleini-dev)
if [ ! -f "$sysroot/.complete" ]; then
  if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    $SUDO dpkg --add-architecture "$arch"
    updated=0
  fi
  [ $updated -eq 1 ] || $SUDO apt-get update -qq
  rm -rf "$sysroot" "$build/debs"
  mkdir -p "$sysroot" "$build/debs"
  chmod 777 "$build/debs"  # apt's download user writes there
  (cd "$build/debs" && apt-get download -q "${foreign[@]/%/:$arch}" "libc6:$arch" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  for deb in "$build"/debs/*.deb; do
    case "$(basename "$deb")" in
      libc6_*) # only the character-set converters: the C library itself is the cross compiler's
        dpkg-deb -x "$deb" "$build/debs/libc6"
        mv "$build/debs/libc6/usr/lib/$triple/gconv" "$sysroot/gconv" ;;
      *) dpkg-deb -x "$deb" "$sysroot" ;;
    esac
  done
  [ -d "$sysroot/gconv" ] && [ -f "$sysroot/usr/include/net-snmp/net-snmp-config.h" ] || {
    echo "cross.sh: the foreign packages are incomplete in $build/debs" >&2; exit 1; }
  touch "$sysroot/.complete"
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
parts=(-DQVSM_HOST=ON -DQVSM_SIM=ON)
[ $unit -eq 1 ] && parts=(-DQVSM_HOST=OFF -DQVSM_SIM=OFF)
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/$triple.cmake" -DQVSM_SYSROOT="$sysroot" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr "${launcher[@]}" "${parts[@]}" "$@"
jobs="${QVSM_JOBS:-$(nproc)}"
if [ $unit -eq 1 ]; then
  cmake --build "$build" -j "$jobs" --target qvsm qvsm_unit_tests
else
  cmake --build "$build" -j "$jobs"
fi

# Tests: the emulator comes from the toolchain file (CMAKE_CROSSCOMPILING_EMULATOR).
log="$build/cross-test.log"
rc=0
if [ $unit -eq 1 ]; then
  ctest --test-dir "$build" --output-on-failure -j 2 --timeout 600 -R '^libqvsm_(exports|runtime_needs)$|^[A-Za-z0-9_]+\.' \
        -LE 'snmp|e2e' 2>&1 | tee "$log" || rc=$?
else
  # The end-to-end suites measure poll times: one at a time, the emulator is slow enough.
  ctest --test-dir "$build" --output-on-failure -j 2 --timeout 600 -LE e2e 2>&1 | tee "$log" || rc=$?
  ctest --test-dir "$build" --output-on-failure -j 1 --timeout 600 -L e2e 2>&1 | tee -a "$log" || rc=$?
fi

if [ $package -eq 1 ] && [ $rc -eq 0 ]; then
  (cd "$build" && cpack -G DEB)
fi

so="$(readlink -f "$build/libqvsm.so")"
"$triple-strip" -o "$build/libqvsm.stripped.so" "$so"
size=$(stat -c %s "$build/libqvsm.stripped.so")
glibcxx=$(readelf -V "$so" | grep -c 'GLIBCXX_' || true)
glibc=$(readelf -V "$so" | grep -o 'GLIBC_[0-9.]*' | sort -t. -k2,2n -k3,3n -u | tail -1)
grep -E 'tests passed|tests failed out of' "$log" | sed "s/^/== $arch ($triple, $qemu): /"
echo "== $arch libqvsm.so stripped: $size bytes ($((size / 1024)) KB); needs $glibc, $glibcxx GLIBCXX references"
exit $rc
