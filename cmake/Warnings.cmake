# Warnings for the project's own targets (third-party code is added without them).
function(vmdx_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unknown-pragmas)
endfunction()
