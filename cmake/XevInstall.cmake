# What `cmake --install` puts under a prefix: both libraries, the public
# headers, xevhost, the CMake package (find_package(xev) -> xev::xev) and a
# pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(XEV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/xev)

install(TARGETS xev xev_static EXPORT xevTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/xev DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT development FILES_MATCHING PATTERN "*.h")
if(TARGET xevhost)
  install(TARGETS xevhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT development OPTIONAL)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}
  COMPONENT development FILES_MATCHING PATTERN "*.md")

install(EXPORT xevTargets NAMESPACE xev:: DESTINATION ${XEV_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/xevConfig.cmake.in
  ${PROJECT_BINARY_DIR}/xevConfig.cmake INSTALL_DESTINATION ${XEV_CMAKE_DIR})
# Within one major version the ABI only grows, so any newer minor version will do.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/xevConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/xevConfig.cmake ${PROJECT_BINARY_DIR}/xevConfigVersion.cmake
  DESTINATION ${XEV_CMAKE_DIR} COMPONENT development)

# The prefix is found from where xev.pc lies, so that `cmake --install --prefix`
# to any folder gives a pkg-config file that points into that folder.
file(RELATIVE_PATH XEV_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" XEV_PC_TO_PREFIX "${XEV_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/xev.pc.in ${PROJECT_BINARY_DIR}/xev.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/xev.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)
