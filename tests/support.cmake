# Test infrastructure: X servers with and without video modes, XTest input,
# screen captures, a GLUT window environment, and its own self-test.
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)
include(GoogleTest)
if(NOT TARGET X11::Xtst)
  message(FATAL_ERROR "libXtst (X11::Xtst) is required for the X server tests")
endif()

set(kantenwerk_support_dir ${CMAKE_CURRENT_LIST_DIR}/support)

add_library(kantenwerk_testsupport STATIC
  ${kantenwerk_support_dir}/child_process.cpp
  ${kantenwerk_support_dir}/test_server.cpp
  ${kantenwerk_support_dir}/x_session.cpp
  ${kantenwerk_support_dir}/gl_window_environment.cpp
  ${kantenwerk_support_dir}/probe_report.cpp)
target_include_directories(kantenwerk_testsupport PUBLIC ${kantenwerk_support_dir})
target_compile_definitions(kantenwerk_testsupport PRIVATE
  KANTENWERK_XORG_DIR="${CMAKE_CURRENT_LIST_DIR}/xorg"
  KANTENWERK_BUILD_TIME_FACTOR=${kantenwerk_time_factor}
  KANTENWERK_SHADER_CACHE="${CMAKE_BINARY_DIR}/mesa-shader-cache")
target_link_libraries(kantenwerk_testsupport PUBLIC
  GTest::gtest X11::X11 X11::Xtst GLUT::GLUT OpenGL::GL ZLIB::ZLIB Threads::Threads)

# Small GLUT programs the self-test runs in child processes: freeglut allows
# one display per process.
add_executable(gamemode_probe ${kantenwerk_support_dir}/gamemode_probe.cpp)
target_link_libraries(gamemode_probe PRIVATE kantenwerk_core)
add_executable(input_probe ${kantenwerk_support_dir}/input_probe.cpp)
target_link_libraries(input_probe PRIVATE kantenwerk_core)

kantenwerk_timeout(support_timeout 60)
add_executable(support_test ${kantenwerk_support_dir}/support_test.cpp)
target_link_libraries(support_test PRIVATE kantenwerk_testsupport)
target_compile_definitions(support_test PRIVATE
  KANTENWERK_GAMEMODE_PROBE="$<TARGET_FILE:gamemode_probe>"
  KANTENWERK_INPUT_PROBE="$<TARGET_FILE:input_probe>")
add_dependencies(support_test gamemode_probe input_probe)
gtest_discover_tests(support_test
  DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${discovery_timeout}
  PROPERTIES TIMEOUT ${support_timeout} LABELS xserver)
