# cmake --install: the headers, the two static libraries, the CMake package (Zorp::Base, Zorp::Exif)
# and a pkg-config file (quorvane.pc), the programs, their MakerNote descriptions and the viewer's
# desktop entry and icons. packaging/ adds manual pages, completion and AppStream metadata.
# Two components, one Debian package each: "dev" (the library, libquorvane-dev) and "quorvane" (the
# programs and their data).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS zorp_base zorp_exif EXPORT QuorvaneTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/base/include/ ${PROJECT_SOURCE_DIR}/exif/include/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

set(QUORVANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvane)
install(EXPORT QuorvaneTargets NAMESPACE Zorp:: DESTINATION ${QUORVANE_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuorvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuorvaneConfig.cmake INSTALL_DESTINATION ${QUORVANE_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorvaneConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuorvaneConfig.cmake ${PROJECT_BINARY_DIR}/QuorvaneConfigVersion.cmake
  DESTINATION ${QUORVANE_CMAKE_DIR} COMPONENT dev)

file(RELATIVE_PATH QUORVANE_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/cmake/quorvane.pc.in ${PROJECT_BINARY_DIR}/quorvane.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quorvane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

if(TARGET quorvane-cli)
  install(TARGETS quorvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT quorvane)
endif()
if(TARGET quorvane)
  install(TARGETS quorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT quorvane)
endif()

# The MakerNote tag descriptions, found from bin/ as ../share/quorvane/MakerNotes.ini.
install(FILES ${PROJECT_SOURCE_DIR}/viewer/MakerNotes.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvane
  COMPONENT quorvane)

# The viewer's desktop entry and its icon, where desktop environments look for them.
# The entry's name is the id of the AppStream metadata (packaging/), which launches it.
install(FILES ${PROJECT_SOURCE_DIR}/viewer/org.quorvane.Quorvane.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT quorvane)
install(FILES ${PROJECT_SOURCE_DIR}/viewer/icons/quorvane.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT quorvane)
install(FILES ${PROJECT_SOURCE_DIR}/viewer/icons/quorvane.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps COMPONENT quorvane)
