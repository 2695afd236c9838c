# The real program plus a report of its orientations and frame count at exit.
add_executable(kantenwerk_probe ${PROJECT_SOURCE_DIR}/src/main.cpp ${CMAKE_CURRENT_SOURCE_DIR}/state_dump.cpp)
target_link_libraries(kantenwerk_probe PRIVATE kantenwerk_core -Wl,--wrap=glutSwapBuffers)
