# What `cmake --install` puts in place: the library and its header, the
# ornivex command, a CMake package (find_package(ornivex) gives
# ornivex::ornivex) and a pkg-config file; on Windows the DLL with its
# import library and module-definition file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS ornivex EXPORT ornivexTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/ornivex.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS ornivex_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(WIN32)
  install(FILES ${ORNIVEX_DLL_DEF} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

set(ORNIVEX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ornivex)
install(EXPORT ornivexTargets NAMESPACE ornivex:: DESTINATION ${ORNIVEX_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ornivexConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ornivexConfig.cmake INSTALL_DESTINATION ${ORNIVEX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ornivexConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ornivexConfig.cmake
              ${PROJECT_BINARY_DIR}/ornivexConfigVersion.cmake
        DESTINATION ${ORNIVEX_CMAKE_DIR})

# The pkg-config file finds the prefix from where it lies, so that the tree
# can be installed anywhere (cmake --install --prefix).
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(ORNIVEX_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(ORNIVEX_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(ORNIVEX_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH up /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" up "${up}")
  set(ORNIVEX_PC_PREFIX "\${pcfiledir}/${up}")
  set(ORNIVEX_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(ORNIVEX_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/ornivex.pc.in ${PROJECT_BINARY_DIR}/ornivex.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ornivex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
