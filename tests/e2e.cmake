# End-to-end tests: the built program on its own X server, driven through
# XTest and watched through screen captures, its output and its exit status.
# KANTENWERK_TEST_PROGRAM points them at an installed program instead, e.g.
# /usr/bin/kantenwerk from the package; the probe is always built here.
include(GoogleTest)
set(KANTENWERK_TEST_PROGRAM "" CACHE FILEPATH
  "The program the end-to-end tests run; empty for the one built here")
add_executable(e2e_test ${CMAKE_CURRENT_LIST_DIR}/e2e_test.cpp)
target_link_libraries(e2e_test PRIVATE kantenwerk_core kantenwerk_testsupport X11::Xxf86vm X11::Xrandr GTest::gtest_main)
if(KANTENWERK_TEST_PROGRAM)
  set(e2e_program ${KANTENWERK_TEST_PROGRAM})
else()
  set(e2e_program $<TARGET_FILE:kantenwerk>)
  add_dependencies(e2e_test kantenwerk)
endif()
target_compile_definitions(e2e_test PRIVATE
  KANTENWERK_PROGRAM="${e2e_program}"
  KANTENWERK_PROBE="$<TARGET_FILE:kantenwerk_probe>"
  KANTENWERK_PROBE_NOGAMEMODE="$<TARGET_FILE:kantenwerk_probe_nogamemode>"
  KANTENWERK_HOLDER_VANISHES="$<TARGET_FILE:kantenwerk_holder_vanishes>")
add_dependencies(e2e_test kantenwerk_probe kantenwerk_probe_nogamemode kantenwerk_holder_vanishes)
kantenwerk_timeout(e2e_timeout 90)
gtest_discover_tests(e2e_test
  DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${discovery_timeout}
  PROPERTIES TIMEOUT ${e2e_timeout} LABELS "e2e;xserver")
