# Cross toolchain: ARMv5TE with soft float, the i.MX28 class (Debian armel). Tests run on an
# emulated ARM926 so that no newer instruction slips in.
#   cmake -S . -B build-armel -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabi.cmake [-DQVSM_SYSROOT=DIR]
set(QVSM_TRIPLE arm-linux-gnueabi)
set(QVSM_DEB_ARCH armel)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(QVSM_QEMU_NAME qemu-arm)
set(QVSM_QEMU_CPU -cpu arm926)
include(${CMAKE_CURRENT_LIST_DIR}/QvsmCross.cmake)
