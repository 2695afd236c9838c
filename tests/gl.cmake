# OpenGL unit tests: each tests/gl/*_test.cpp is one executable, run in one
# 1280x1024 window on its own X server, with the shared fixture of
# gl_test_main.cpp. The GLUT calls that tell what the program did are
# wrapped at link time.
add_library(gl_test_fixture OBJECT ${CMAKE_CURRENT_LIST_DIR}/gl/gl_test_main.cpp)
target_include_directories(gl_test_fixture PUBLIC ${CMAKE_CURRENT_LIST_DIR}/gl)
target_link_libraries(gl_test_fixture PUBLIC kantenwerk_core kantenwerk_testsupport)

kantenwerk_timeout(gl_timeout 60)
file(GLOB gl_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/gl/*_test.cpp)
foreach(source ${gl_tests})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE gl_test_fixture
    -Wl,--wrap=glutSwapBuffers -Wl,--wrap=glutIdleFunc -Wl,--wrap=glutSetCursor)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${discovery_timeout} PROPERTIES TIMEOUT ${gl_timeout} LABELS "unit;xserver")
endforeach()
