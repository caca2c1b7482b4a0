# Shared part of the cross toolchain files (cmake/<triple>.cmake), which set QVSM_TRIPLE,
# QVSM_DEB_ARCH, CMAKE_SYSTEM_PROCESSOR and the emulator's name and CPU.
#
# Debian's cross compilers bring the C library in /usr/<triple>. The other foreign libraries
# (net-snmp, SQLite, libmodbus, GoogleTest) come from a sysroot folder: QVSM_SYSROOT, or the
# environment variable of that name (cmake/cross.sh fills it from Debian packages).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${QVSM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${QVSM_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${QVSM_TRIPLE})

if(NOT QVSM_SYSROOT AND DEFINED ENV{QVSM_SYSROOT})
  set(QVSM_SYSROOT $ENV{QVSM_SYSROOT})
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QVSM_SYSROOT)

set(CMAKE_FIND_ROOT_PATH /usr/${QVSM_TRIPLE})
set(QVSM_EMULATOR_ENV "")
if(QVSM_SYSROOT)
  list(PREPEND CMAKE_FIND_ROOT_PATH ${QVSM_SYSROOT})
  # Before the build machine's /usr/include, which Debian's cross compilers also search.
  foreach(lang C CXX)
    string(APPEND CMAKE_${lang}_FLAGS_INIT
      " -isystem ${QVSM_SYSROOT}/usr/include/${QVSM_TRIPLE} -isystem ${QVSM_SYSROOT}/usr/include")
  endforeach()
  set(_libs ${QVSM_SYSROOT}/usr/lib/${QVSM_TRIPLE} ${QVSM_SYSROOT}/lib/${QVSM_TRIPLE})
  string(REPLACE ";" ":" _path "${_libs}")
  # The libraries' own dependencies (libssl for net-snmp) are found at link time...
  string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,-rpath-link,${_path}")
  string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,-rpath-link,${_path}")
  string(APPEND CMAKE_MODULE_LINKER_FLAGS_INIT " -Wl,-rpath-link,${_path}")
  # ...and at run time under the emulator, with the foreign C library's converters (GBK).
  set(QVSM_EMULATOR_ENV -E LD_LIBRARY_PATH=${_path})
  if(EXISTS ${QVSM_SYSROOT}/gconv)
    list(APPEND QVSM_EMULATOR_ENV -E GCONV_PATH=${QVSM_SYSROOT}/gconv)
  endif()
  # pkg-config (libmodbus) looks only into the sysroot.
  set(ENV{PKG_CONFIG_LIBDIR} "${QVSM_SYSROOT}/usr/lib/${QVSM_TRIPLE}/pkgconfig:${QVSM_SYSROOT}/usr/share/pkgconfig")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "${QVSM_SYSROOT}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run under qemu-user; the test harness starts the built programs through it as well.
find_program(QVSM_QEMU ${QVSM_QEMU_NAME})
if(QVSM_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QVSM_QEMU} -L /usr/${QVSM_TRIPLE} ${QVSM_QEMU_CPU} ${QVSM_EMULATOR_ENV})
endif()
