# Test program for win/fault: a process that faults. It sits beside torvane_win_tests, which
# starts it from there.
add_executable(fault_crash ${CMAKE_CURRENT_LIST_DIR}/fault/crash.cpp)
target_link_libraries(fault_crash PRIVATE torvane_win)
torvane_warnings(fault_crash)
add_dependencies(torvane_win_tests fault_crash)
