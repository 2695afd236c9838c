# Random input storm against the real program.
add_executable(storm_test ${CMAKE_CURRENT_LIST_DIR}/storm_test.cpp)
target_link_libraries(storm_test PRIVATE kantenwerk_testsupport GTest::gtest_main)
target_compile_definitions(storm_test PRIVATE KANTENWERK_PROBE="$<TARGET_FILE:kantenwerk_probe>")
add_dependencies(storm_test kantenwerk_probe)
kantenwerk_timeout(storm_timeout 600)
gtest_discover_tests(storm_test
  DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${discovery_timeout}
  PROPERTIES TIMEOUT ${storm_timeout} LABELS "e2e;xserver")
