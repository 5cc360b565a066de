# Test program for win/probes: a process with a distinctive name and a FileDescription that
# opens a visible window. It sits beside torvane_win_tests, which starts it from there.
add_executable(probes_helper WIN32 ${CMAKE_CURRENT_LIST_DIR}/probes/helper.cpp
               ${CMAKE_CURRENT_LIST_DIR}/probes/helper.rc)
set_target_properties(probes_helper PROPERTIES OUTPUT_NAME TorvaneProbeHelper)
torvane_warnings(probes_helper)
add_dependencies(torvane_win_tests probes_helper)
