# Warnings are errors on our own code; third-party targets don't get these flags.
function(torvane_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
