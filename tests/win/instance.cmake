# A second process for the single-instance tests, built beside torvane_win_tests.
add_executable(torvane_instance_helper instance_helper.cpp)
target_link_libraries(torvane_instance_helper PRIVATE torvane_win)
torvane_warnings(torvane_instance_helper)
add_dependencies(torvane_win_tests torvane_instance_helper)
target_compile_definitions(torvane_win_tests PRIVATE
    TORVANE_INSTANCE_HELPER=L"$<TARGET_FILE_NAME:torvane_instance_helper>")
