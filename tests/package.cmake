# The Debian package: built twice by scripts/package, then its files,
# Depends, manual page, desktop entry, metainfo, lintian and reproducibility.
kantenwerk_timeout(package_timeout 900)
kantenwerk_timeout(source_timeout 10)
add_test(NAME PackageIsReproducibleAndHoldsProgramManPageDesktopEntryAndDepends
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package_check.sh ${CMAKE_CURRENT_BINARY_DIR}/package)
set_tests_properties(PackageIsReproducibleAndHoldsProgramManPageDesktopEntryAndDepends
  PROPERTIES TIMEOUT ${package_timeout} LABELS package)

# Cheap, so also part of the package's own build, which leaves out the above.
add_test(NAME DebianSourceMatchesProjectVersionAndScriptPackages
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/debian_source_check.sh ${PROJECT_VERSION})
set_tests_properties(DebianSourceMatchesProjectVersionAndScriptPackages PROPERTIES TIMEOUT ${source_timeout} LABELS unit)
