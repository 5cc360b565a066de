# Test programs for win/version: one small program that prints its own running version, built
# with different version resources. They sit beside torvane_win_tests, which finds them there.
set(version_fixtures ${CMAKE_CURRENT_LIST_DIR}/version)

# 4096 units that must survive and a tail that must be cut.
string(REPEAT "a" 4096 long_head)
string(REPEAT "b" 904 long_tail)
set(TORVANE_LONG_VALUE "${long_head}${long_tail}")
configure_file(${version_fixtures}/long.rc.in ${CMAKE_CURRENT_BINARY_DIR}/version_long.rc @ONLY)

function(torvane_version_fixture name)
    add_executable(${name} ${version_fixtures}/report.cpp ${ARGN})
    target_link_libraries(${name} PRIVATE torvane_win)
    torvane_warnings(${name})
    add_dependencies(torvane_win_tests ${name})
endfunction()

torvane_version_fixture(version_1437 ${version_fixtures}/v1437.rc)
torvane_version_fixture(version_none)
torvane_version_fixture(version_es ${version_fixtures}/es.rc)
torvane_version_fixture(version_es_untranslated ${version_fixtures}/es_untranslated.rc)
torvane_version_fixture(version_long ${CMAKE_CURRENT_BINARY_DIR}/version_long.rc)
