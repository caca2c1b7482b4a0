# Warnings for all of our code, and the GBK execution charset of the module and its tests.
add_compile_options(-Wall -Wextra -Werror)

# Chinese literals are written in UTF-8 and compiled to GBK bytes.
function(qvsm_module_flags target)
  target_compile_options(${target} PRIVATE -finput-charset=UTF-8 -fexec-charset=GBK)
endfunction()
