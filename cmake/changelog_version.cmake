# Fails unless the top entry of the Debian changelog names the version the
# package gets: project()'s version and CPack's package release.
#   cmake -DCHANGELOG=FILE -DCPACK_CONFIG=BUILD/CPackConfig.cmake -P changelog_version.cmake
include(${CPACK_CONFIG})
set(expected "${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
file(STRINGS ${CHANGELOG} top LIMIT_COUNT 1)
if(NOT top MATCHES "^${CPACK_PACKAGE_NAME} \\(([^)]*)\\)")
  message(FATAL_ERROR "${CHANGELOG}: no '${CPACK_PACKAGE_NAME} (VERSION)' in its first line: ${top}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL expected)
  message(FATAL_ERROR "${CHANGELOG} names ${CMAKE_MATCH_1}, the package is ${expected}")
endif()
