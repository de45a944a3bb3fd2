# `cmake --install`: the public headers, both libraries (on Win32 the DLLs, their import
# libraries and MARLREND.def) and a package configuration, so that a driver project writes
# find_package(marlrend) and links marlrend::marlrend (marlrend::marlcore for the core
# services).
include(CMakePackageConfigHelpers)

set(MARL_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/marlrend)

install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/marlrend DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")
install(TARGETS marlrend marlcore EXPORT marlrendTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(WIN32)
  install(FILES ${MARLREND_DEF} DESTINATION ${CMAKE_INSTALL_LIBDIR} RENAME MARLREND.def)
endif()
install(EXPORT marlrendTargets NAMESPACE marlrend:: DESTINATION ${MARL_PACKAGE_DIR})

configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/marlrendConfig.cmake.in
  ${CMAKE_BINARY_DIR}/marlrendConfig.cmake INSTALL_DESTINATION ${MARL_PACKAGE_DIR})
# The version file also records the pointer size: a project finds only the edition of its own
# pointer size (the 32-bit package from a 32-bit project, the 64-bit one from a 64-bit project).
write_basic_package_version_file(${CMAKE_BINARY_DIR}/marlrendConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/marlrendConfig.cmake
        ${CMAKE_BINARY_DIR}/marlrendConfigVersion.cmake DESTINATION ${MARL_PACKAGE_DIR})
