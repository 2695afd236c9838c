# The Debian package from scripts/package: its files, Depends, manual page,
# desktop entry and lintian.
add_test(NAME PackageHoldsProgramManPageDesktopEntryAndRuntimeDepends
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package_check.sh ${CMAKE_CURRENT_BINARY_DIR}/package)
set_tests_properties(PackageHoldsProgramManPageDesktopEntryAndRuntimeDepends
  PROPERTIES TIMEOUT 600 LABELS package)

add_test(NAME ChangelogNamesPackageVersion
  COMMAND ${CMAKE_COMMAND} -DCHANGELOG=${PROJECT_SOURCE_DIR}/data/changelog
    -DCPACK_CONFIG=${PROJECT_BINARY_DIR}/CPackConfig.cmake -P ${PROJECT_SOURCE_DIR}/cmake/changelog_version.cmake)
set_tests_properties(ChangelogNamesPackageVersion PROPERTIES TIMEOUT 10 LABELS package)
