# Third-party libraries, all from Debian packages.
find_package(PkgConfig REQUIRED)

# SimpleIni (libsimpleini-dev) is header-only.
find_path(SIMPLEINI_INCLUDE_DIR SimpleIni.h REQUIRED)
add_library(qvsm::simpleini INTERFACE IMPORTED)
target_include_directories(qvsm::simpleini SYSTEM INTERFACE ${SIMPLEINI_INCLUDE_DIR})
# Plain characters, no conversion: the log document is GBK like everything else.
target_compile_definitions(qvsm::simpleini INTERFACE SI_NO_CONVERSION)

# net-snmp client library (libsnmp-dev).
find_path(NETSNMP_INCLUDE_DIR net-snmp/net-snmp-config.h REQUIRED)
find_library(NETSNMP_LIBRARY netsnmp REQUIRED)
add_library(qvsm::snmp INTERFACE IMPORTED)
target_include_directories(qvsm::snmp SYSTEM INTERFACE ${NETSNMP_INCLUDE_DIR})
target_link_libraries(qvsm::snmp INTERFACE ${NETSNMP_LIBRARY})

# The module itself needs net-snmp only; SQLite is for the host and the tests.
if(QVSM_HOST OR QVSM_TESTS)
  find_package(SQLite3 REQUIRED)
endif()
find_package(Threads REQUIRED)

if(QVSM_TESTS)
  find_package(GTest REQUIRED)
endif()

if(QVSM_SIM)
  pkg_check_modules(MODBUS IMPORTED_TARGET libmodbus)
endif()
