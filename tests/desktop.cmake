add_executable(desktop_test ${CMAKE_CURRENT_LIST_DIR}/desktop_test.cpp)
target_link_libraries(desktop_test PRIVATE kantenwerk_core GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(desktop_test PROPERTIES TIMEOUT 10 LABELS unit)
