# Test programs for installing updates: a running build, the next build and another product's,
# each only a version resource, Authenticode-signed at build time with two test certificates
# into update-fixtures/ beside torvane_win_tests.
set(update_fixtures ${CMAKE_CURRENT_LIST_DIR}/update)
set(update_signed ${CMAKE_CURRENT_BINARY_DIR}/update-fixtures)

function(torvane_update_program name build product)
    configure_file(${update_fixtures}/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc @ONLY)
    add_executable(${name} ${CMAKE_CURRENT_LIST_DIR}/version/program.cpp
                   ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
    torvane_warnings(${name})
endfunction()
torvane_update_program(update_running 1 Torvane)
torvane_update_program(update_next 2 Torvane)
torvane_update_program(update_foreign 2 Otro)

set(signed_programs running-a next-a next-b foreign-a next-unsigned)
list(TRANSFORM signed_programs PREPEND ${update_signed}/)
list(TRANSFORM signed_programs APPEND .exe)
add_custom_command(OUTPUT ${signed_programs}
    COMMAND ${update_fixtures}/sign.sh ${update_signed} $<TARGET_FILE:update_running>
            $<TARGET_FILE:update_next> $<TARGET_FILE:update_foreign>
    DEPENDS update_running update_next update_foreign ${update_fixtures}/sign.sh VERBATIM)
add_custom_target(update_fixtures DEPENDS ${signed_programs})
add_dependencies(torvane_win_tests update_fixtures)
