# Versions, install rules and Debian packages.
#
#   cmake --install BUILD [--prefix DIR]     library, header, pkg-config and CMake package
#                                            files, tools, example definitions
#   cpack --config BUILD/CPackConfig.cmake   libqvsm1, libqvsm-dev and qvsm-tools .deb files
# (Install folders: cmake/QvsmPlatform.cmake.)
include(CMakePackageConfigHelpers)

# libqvsm.so -> libqvsm.so.1 (SONAME) -> libqvsm.so.1.0
set_target_properties(qvsm PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
target_include_directories(qvsm INTERFACE
  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

# The tools answer --version with the library's version.
foreach(tool qvsm-host qvsm-sim qvsm-defcheck)
  if(TARGET ${tool})
    target_compile_definitions(${tool} PRIVATE QVSM_VERSION_TEXT="${PROJECT_VERSION}")
  endif()
endforeach()

# An installed qvsm-host finds the installed library when none lies beside it.
if(TARGET qvsm_hostlib)
  target_compile_definitions(qvsm_hostlib PRIVATE
    QVSM_INSTALLED_MODULE="${CMAKE_INSTALL_FULL_LIBDIR}/libqvsm.so.${PROJECT_VERSION_MAJOR}")
endif()

install(TARGETS qvsm EXPORT qvsmTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(FILES ${CMAKE_SOURCE_DIR}/include/qvsm/qvsm.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qvsm COMPONENT dev)

# pkg-config: relative to its own folder, so an installed tree may be moved.
set(QVSM_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH QVSM_PC_UP /${QVSM_PKGCONFIG_DIR} /)
string(REGEX REPLACE "/$" "" QVSM_PC_UP "${QVSM_PC_UP}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/qvsm.pc.in ${CMAKE_BINARY_DIR}/qvsm.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/qvsm.pc DESTINATION ${QVSM_PKGCONFIG_DIR} COMPONENT dev)

# find_package(qvsm): the imported target qvsm::qvsm.
set(QVSM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qvsm)
install(EXPORT qvsmTargets NAMESPACE qvsm:: DESTINATION ${QVSM_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/qvsmConfig.cmake.in
  ${CMAKE_BINARY_DIR}/qvsmConfig.cmake INSTALL_DESTINATION ${QVSM_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/qvsmConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/qvsmConfig.cmake ${CMAKE_BINARY_DIR}/qvsmConfigVersion.cmake
  DESTINATION ${QVSM_CMAKE_DIR} COMPONENT dev)

# Tools and the example definitions.
foreach(tool qvsm-host qvsm-defcheck qvsm-sim)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endforeach()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/qvsm/examples
  COMPONENT tools)

# Debian packages, one per component. A cross toolchain file sets QVSM_DEB_ARCH; natively
# it is dpkg's own architecture.
if(NOT QVSM_DEB_ARCH)
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE QVSM_DEB_ARCH
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qvsm)
set(CPACK_PACKAGE_VENDOR qvsm)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "qvsm maintainers <qvsm@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "device-driver module of a site-supervision host")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${QVSM_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libqvsm${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libsnmp40, libc6 (>= 2.34)")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libqvsm-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libqvsm${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME qvsm-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS
  "libqvsm${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION}), libsqlite3-0, libmodbus5, libsnmp40")
if(NOT QVSM_STATIC_RUNTIME)
  string(APPEND CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS ", libstdc++6 (>= 12), libgcc-s1")
  string(APPEND CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS ", libstdc++6 (>= 12), libgcc-s1")
endif()
include(CPack)
