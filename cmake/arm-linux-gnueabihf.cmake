# Cross toolchain: ARMv7-A with hard float (Debian armhf).
#   cmake -S . -B build-armhf -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake [-DQVSM_SYSROOT=DIR]
set(QVSM_TRIPLE arm-linux-gnueabihf)
set(QVSM_DEB_ARCH armhf)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(QVSM_QEMU_NAME qemu-arm)
set(QVSM_QEMU_CPU "")
include(${CMAKE_CURRENT_LIST_DIR}/QvsmCross.cmake)
