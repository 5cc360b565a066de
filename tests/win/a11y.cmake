# Test program for the widget windows' accessible objects: a client in another process, as a
# screen reader is. It sits beside torvane_win_tests, which starts it from there.
add_executable(a11y_client ${CMAKE_CURRENT_LIST_DIR}/a11y/client.cpp)
set_target_properties(a11y_client PROPERTIES OUTPUT_NAME TorvaneA11yClient)
target_link_libraries(a11y_client PRIVATE oleacc ole32 oleaut32 uuid)
torvane_warnings(a11y_client)
add_dependencies(torvane_win_tests a11y_client)
