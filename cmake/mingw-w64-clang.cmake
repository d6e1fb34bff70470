# Second compiler for 64-bit Windows: Debian's clang and lld against the same
# MinGW-w64 headers and libraries as the GCC build. Clang does not recognise
# Debian's "12-posix" GCC folder, so the C++ headers and libraries are named,
# and the sysroot keeps the host's /usr/include out of the search.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_SYSROOT /usr/x86_64-w64-mingw32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(MINGW_GCC_DIR /usr/lib/gcc/x86_64-w64-mingw32/12-posix)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${MINGW_GCC_DIR}/include/c++ ${MINGW_GCC_DIR}/include/c++/x86_64-w64-mingw32)
set(MINGW_CLANG_NO_HOST_CXX_HEADERS ON)  # the top CMakeLists adds -nostdinc++ to compiles
# lld's defaults are subsystem and OS version 6.0; the program must start on 5.2.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-fuse-ld=lld -L${MINGW_GCC_DIR} -Wl,--subsystem,console:5.02 -Wl,--major-os-version,5 -Wl,--minor-os-version,2")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
