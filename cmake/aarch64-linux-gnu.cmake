# Cross toolchain: 64-bit ARMv8-A (Debian arm64).
#   cmake -S . -B build-arm64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake [-DQVSM_SYSROOT=DIR]
set(QVSM_TRIPLE aarch64-linux-gnu)
set(QVSM_DEB_ARCH arm64)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QVSM_QEMU_NAME qemu-aarch64)
set(QVSM_QEMU_CPU "")
include(${CMAKE_CURRENT_LIST_DIR}/QvsmCross.cmake)
