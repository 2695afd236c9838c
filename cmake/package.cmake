# The Debian package: scripts/package builds it with cpack. The program and
# its desktop entry are installed by the top-level CMakeLists.txt; this adds
# the icons, the manual page, the files Debian wants in the doc folder and
# a lintian override.

set(kantenwerk_data ${PROJECT_SOURCE_DIR}/data)
set(kantenwerk_gz ${PROJECT_BINARY_DIR}/gz)

# The manual page shows the version of project().
configure_file(${kantenwerk_data}/kantenwerk.6.in ${PROJECT_BINARY_DIR}/kantenwerk.6 @ONLY)

# Debian wants the manual page and changelog compressed, and compressed
# without name and time stamp so that rebuilding gives the same bytes.
add_custom_command(
  OUTPUT ${kantenwerk_gz}/kantenwerk.6.gz ${kantenwerk_gz}/changelog.Debian.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${kantenwerk_gz}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_BINARY_DIR}/kantenwerk.6 ${kantenwerk_gz}/kantenwerk.6
  COMMAND ${CMAKE_COMMAND} -E copy ${kantenwerk_data}/changelog ${kantenwerk_gz}/changelog.Debian
  COMMAND gzip -9nf ${kantenwerk_gz}/kantenwerk.6 ${kantenwerk_gz}/changelog.Debian
  DEPENDS ${PROJECT_BINARY_DIR}/kantenwerk.6 ${kantenwerk_data}/changelog
  VERBATIM)
add_custom_target(kantenwerk_compressed_docs ALL
  DEPENDS ${kantenwerk_gz}/kantenwerk.6.gz ${kantenwerk_gz}/changelog.Debian.gz)

foreach(size 48 256)
  install(FILES ${kantenwerk_data}/icons/kantenwerk-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME kantenwerk.png)
endforeach()
install(FILES ${kantenwerk_gz}/kantenwerk.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${kantenwerk_data}/copyright ${kantenwerk_gz}/changelog.Debian.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kantenwerk)
install(FILES ${kantenwerk_data}/kantenwerk.lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME kantenwerk)
# CPack's strip leaves the .comment and .note sections, which Debian drops.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/kantenwerk\" COMMAND_ERROR_IS_FATAL ANY)
endif()")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kantenwerk)
set(CPACK_PACKAGE_CONTACT "Kantenwerk developers <kantenwerk@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "full-screen viewer of one cube under three orientations")
set(CPACK_PACKAGE_DESCRIPTION [=[
Kantenwerk shows one cube seen under three orientations at once. The
square drawing area is cut into four quadrants, each showing the quarter
of the cube image that one of the orientations produces there, so that
the quarters form one composite picture of grey faces and stroked edges.
You turn an orientation by dragging in its quadrant; a toolbar fades the
faces, scrambles and resets the orientations.

It needs an X server with the XFree86-VidModeExtension and a full-screen
mode of 1280x1024, 1152x864, 1024x768 or 800x600 at 32 bits.]=])
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends is read off the libraries the binary links (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
