# Precompiled headers: Qt's, Google Test's and the standard library's headers
# take most of the compile time of a source here. Each kind of target compiles
# its header once; the executables of one kind share it. A precompiled header
# is only taken by compiles with the same flags (position-independent code for
# libraries, PIE for programs), so libraries and programs have their own.
option(KELVARO_PCH "Compile with precompiled headers" ON)

set(KELVARO_PCH_DIR ${CMAKE_SOURCE_DIR}/cmake/pch)

# kelvaro_use_pch(<target> <core|ui|tests|bench>): the first program of a kind
# compiles that kind's header, the others take it over.
function(kelvaro_use_pch target kind)
    if(NOT KELVARO_PCH)
        return()
    endif()
    get_target_property(type ${target} TYPE)
    set(owner_var KELVARO_PCH_OWNER_${kind}_${type})
    get_property(owner GLOBAL PROPERTY ${owner_var})
    if(owner)
        target_precompile_headers(${target} REUSE_FROM ${owner})
    else()
        target_precompile_headers(${target} PRIVATE ${KELVARO_PCH_DIR}/${kind}.h)
        set_property(GLOBAL PROPERTY ${owner_var} ${target})
    endif()
endfunction()
