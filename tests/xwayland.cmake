# The program under XWayland on sway's headless backend.
include(GoogleTest)
add_executable(xwayland_test ${CMAKE_CURRENT_LIST_DIR}/xwayland_test.cpp)
target_link_libraries(xwayland_test PRIVATE kantenwerk_testsupport X11::Xxf86vm X11::Xrandr GTest::gtest_main)
target_compile_definitions(xwayland_test PRIVATE KANTENWERK_PROGRAM="$<TARGET_FILE:kantenwerk>"
  KANTENWERK_PROBE_NOGAMEMODE="$<TARGET_FILE:kantenwerk_probe_nogamemode>")
add_dependencies(xwayland_test kantenwerk kantenwerk_probe_nogamemode)
kantenwerk_timeout(xwayland_timeout 90)
gtest_discover_tests(xwayland_test
  DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${discovery_timeout}
  PROPERTIES TIMEOUT ${xwayland_timeout} LABELS "e2e;xserver")
