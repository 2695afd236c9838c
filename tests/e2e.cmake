# End-to-end tests: the built program on its own X server, driven through
# XTest and watched through screen captures, its output and its exit status.
include(GoogleTest)
add_executable(e2e_test ${CMAKE_CURRENT_LIST_DIR}/e2e_test.cpp)
target_link_libraries(e2e_test PRIVATE kantenwerk_testsupport X11::Xxf86vm X11::Xrandr GTest::gtest_main)
target_compile_definitions(e2e_test PRIVATE
  KANTENWERK_PROGRAM="$<TARGET_FILE:kantenwerk>"
  KANTENWERK_PROBE="$<TARGET_FILE:kantenwerk_probe>")
add_dependencies(e2e_test kantenwerk kantenwerk_probe)
gtest_discover_tests(e2e_test
  DISCOVERY_MODE PRE_TEST
  PROPERTIES TIMEOUT 90 LABELS "e2e;xserver")
