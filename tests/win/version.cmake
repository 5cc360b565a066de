# Test programs for win/version: one empty program built with different version resources.
# They sit beside torvane_win_tests, which finds them there.
set(version_fixtures ${CMAKE_CURRENT_LIST_DIR}/version)

# 4096 units that must survive and a tail that must be cut.
string(REPEAT "a" 4096 long_head)
string(REPEAT "b" 904 long_tail)
set(TORVANE_LONG_VALUE "${long_head}${long_tail}")
configure_file(${version_fixtures}/long.rc.in ${CMAKE_CURRENT_BINARY_DIR}/version_long.rc @ONLY)

function(torvane_version_fixture name)
    add_executable(${name} ${version_fixtures}/program.cpp ${ARGN})
    torvane_warnings(${name})
    add_dependencies(torvane_win_tests ${name})
endfunction()

torvane_version_fixture(version_upper ${version_fixtures}/upper.rc)
torvane_version_fixture(version_es ${version_fixtures}/es.rc)
torvane_version_fixture(version_es_untranslated ${version_fixtures}/es_untranslated.rc)
torvane_version_fixture(version_long ${CMAKE_CURRENT_BINARY_DIR}/version_long.rc)
