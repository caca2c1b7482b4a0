# Target platform settings: install folders, 64-bit time on 32-bit boards, a statically linked
# C++ runtime.
include(CheckCXXSourceCompiles)

# Debian's multi-arch library folder under /usr, also for cross builds (GNUInstallDirs gives it
# only to native ones).
if(CMAKE_CROSSCOMPILING AND CMAKE_LIBRARY_ARCHITECTURE AND CMAKE_INSTALL_PREFIX MATCHES "^/usr/?$")
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries")
endif()
include(GNUInstallDirs)

# On 32-bit targets time_t and off_t are 32 bits unless glibc (2.34 and later) is asked for 64;
# the log's time stamps would wrap in 2038. Nothing of time_t crosses the net-snmp or the
# host interface, so the whole build can switch.
if(QVSM_TIME64 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(CMAKE_REQUIRED_DEFINITIONS -D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64)
  check_cxx_source_compiles([=[
    #include <ctime>
    #include <sys/types.h>
    static_assert(sizeof(time_t) == 8, "time_t");
    static_assert(sizeof(off_t) == 8, "off_t");
    int main() { return 0; }
  ]=] QVSM_HAVE_TIME64)
  unset(CMAKE_REQUIRED_DEFINITIONS)
  if(QVSM_HAVE_TIME64)
    add_compile_definitions(_TIME_BITS=64 _FILE_OFFSET_BITS=64)
  else()
    message(WARNING "this C library has no 64-bit time_t: time stamps wrap in 2038")
  endif()
endif()

# Boards with an older system than the build machine lack its libstdc++: link the C++ runtime
# into every binary. libqvsm.so keeps exporting only its entry points (cmake/qvsm.map).
if(QVSM_STATIC_RUNTIME)
  add_link_options(-static-libstdc++ -static-libgcc)
endif()
