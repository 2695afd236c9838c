# The real program plus a report of its orientations and frame count at exit.
add_executable(kantenwerk_probe ${PROJECT_SOURCE_DIR}/src/main.cpp ${CMAKE_CURRENT_SOURCE_DIR}/state_dump.cpp)
target_link_libraries(kantenwerk_probe PRIVATE kantenwerk_core -Wl,--wrap=glutSwapBuffers)
# The same, but with a freeglut whose game mode can switch to no mode.
add_executable(kantenwerk_probe_nogamemode ${PROJECT_SOURCE_DIR}/src/main.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/state_dump.cpp ${CMAKE_CURRENT_SOURCE_DIR}/gamemode_refused.cpp)
target_link_libraries(kantenwerk_probe_nogamemode PRIVATE kantenwerk_core
  -Wl,--wrap=glutSwapBuffers,--wrap=glutGameModeGet,--wrap=glutEnterGameMode)
# The program, with the first holder of the screen it reads shut down by the
# server at once, between that read and the next.
add_executable(kantenwerk_holder_vanishes ${PROJECT_SOURCE_DIR}/src/main.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/holder_vanishes.cpp)
target_link_libraries(kantenwerk_holder_vanishes PRIVATE kantenwerk_core -Wl,--wrap=XGetSelectionOwner)
