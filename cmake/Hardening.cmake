# The hardening that Debian's dpkg-buildflags gives a package built with
# hardening=+all: stack protector, fortified C library calls, format checks,
# position-independent executables, read-only relocations bound at start.
# The fuzz build leaves it out (the sanitizers bring their own checks).
option(KELVARO_HARDENING "Build with the distribution's hardening flags" ON)
if(KELVARO_HARDENING AND NOT KELVARO_FUZZ AND UNIX AND NOT APPLE
   AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
    # Fortified calls need an optimised build; a Debug build keeps plain calls.
    add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    include(CheckPIESupported)
    check_pie_supported(LANGUAGES CXX)
    add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
