# Warnings on our own code; third-party targets don't get these flags. They stop the build
# where TORVANE_WERROR is on (scripts/test-all, and so CI), not a user's build with a newer
# compiler.
option(TORVANE_WERROR "Treat warnings in the project's own code as errors" "$ENV{TORVANE_WERROR}")
function(torvane_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${TORVANE_WERROR}>:-Werror>)
endfunction()
