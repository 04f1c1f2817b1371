# target_resources(<target> [RCDATA <NAME> <file>]... [STRINGS <file>]...)
# Compiles resource files into <target>'s module. Filled in with the resource generator.
function(target_resources target)
endfunction()
