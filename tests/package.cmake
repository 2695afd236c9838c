# The Debian package from scripts/package: its files, Depends, manual page,
# desktop entry and lintian.
add_test(NAME PackageHoldsProgramManPageDesktopEntryAndRuntimeDepends
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package_check.sh ${CMAKE_CURRENT_BINARY_DIR}/package)
set_tests_properties(PackageHoldsProgramManPageDesktopEntryAndRuntimeDepends
  PROPERTIES TIMEOUT 600 LABELS package)
