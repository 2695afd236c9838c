add_executable(model_test ${CMAKE_CURRENT_LIST_DIR}/model_test.cpp)
target_link_libraries(model_test PRIVATE kantenwerk_core GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(model_test PROPERTIES TIMEOUT 10 LABELS unit)
