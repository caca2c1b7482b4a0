# Installs BUILD into WORK/prefix, checks the installed files, builds the consumer project SRC
# against them and runs both of its hosts (through EMU, "|"-separated, in a cross build).
string(REPLACE "|" ";" FLAGS "${FLAGS}")
string(REPLACE "|" ";" EMU "${EMU}")
set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})

set(expected
  ${LIBDIR}/libqvsm.so.${VERSION} ${LIBDIR}/libqvsm.so.1 ${LIBDIR}/libqvsm.so include/qvsm/qvsm.h
  ${LIBDIR}/pkgconfig/qvsm.pc ${LIBDIR}/cmake/qvsm/qvsmConfig.cmake ${LIBDIR}/cmake/qvsm/qvsmConfigVersion.cmake
  ${LIBDIR}/cmake/qvsm/qvsmTargets.cmake bin/qvsm-host bin/qvsm-defcheck
  share/qvsm/examples/definitions/SM4096.def)
foreach(f IN LISTS expected)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
if(NOT IS_SYMLINK ${prefix}/${LIBDIR}/libqvsm.so OR NOT IS_SYMLINK ${prefix}/${LIBDIR}/libqvsm.so.1)
  message(FATAL_ERROR "libqvsm.so and libqvsm.so.1 should be links to libqvsm.so.${VERSION}")
endif()
run("readelf" ${READELF} -d ${prefix}/${LIBDIR}/libqvsm.so.${VERSION})
if(NOT last_output MATCHES "SONAME\\)[^\n]*\\[libqvsm\\.so\\.1\\]")
  message(FATAL_ERROR "SONAME is not libqvsm.so.1:\n${last_output}")
endif()

# The consumer, configured against the installed tree only.
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
unset(ENV{PKG_CONFIG_LIBDIR})
unset(ENV{PKG_CONFIG_SYSROOT_DIR})
run("consumer configure" ${CMAKE_COMMAND} -S ${SRC} -B ${WORK}/consumer -G ${GENERATOR}
    -Dqvsm_DIR=${prefix}/${LIBDIR}/cmake/qvsm ${FLAGS})
run("consumer build" ${CMAKE_COMMAND} --build ${WORK}/consumer)

set(ENV{QVSM_ROOT} ${WORK}/root)
file(MAKE_DIRECTORY ${WORK}/root/NandFlash/tmp)
foreach(host host_cmake host_pc)
  run(${host} ${EMU} ${WORK}/consumer/${host})
  message(STATUS "${host}: ${last_output}")
  set(loaded "")
  if(last_output MATCHES "loaded ([^\n]*): libqvsm")
    file(REAL_PATH "${CMAKE_MATCH_1}" loaded)
  endif()
  if(NOT loaded STREQUAL "${prefix}/${LIBDIR}/libqvsm.so.${VERSION}")
    message(FATAL_ERROR "${host} did not load the installed library:\n${last_output}")
  endif()
endforeach()
