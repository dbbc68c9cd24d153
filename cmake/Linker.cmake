# LLVM's linker links the test programs about four times faster than the GNU
# linker; every change to the core relinks all programs and tests.
option(KELVARO_LLD "Link with lld where the compiler can use it" ON)
if(KELVARO_LLD AND UNIX AND NOT APPLE)
    include(CheckLinkerFlag)
    check_linker_flag(CXX -fuse-ld=lld KELVARO_HAVE_LLD)
    if(KELVARO_HAVE_LLD)
        add_link_options(-fuse-ld=lld)
    endif()
endif()
