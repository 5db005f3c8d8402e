# The second compiler: Debian's clang, targeting 64-bit Windows against the same MinGW-w64
# headers and GCC's libstdc++ as the main build. It compiles and checks every source; its
# link steps are left out (KA_COMPILE_ONLY), since clang does not find GCC's POSIX-threads
# runtime libraries on its own.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(KA_COMPILE_ONLY ON CACHE BOOL "Compile every source, link nothing")

# clang looks for libstdc++ beside an unsuffixed MinGW-w64 GCC; Debian keeps it under the
# threads flavour's own directory.
file(GLOB gcc_root LIST_DIRECTORIES true /usr/lib/gcc/x86_64-w64-mingw32/*-posix)
list(GET gcc_root 0 gcc_root)
set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -isystem ${gcc_root}/include/c++ \
-isystem ${gcc_root}/include/c++/x86_64-w64-mingw32 -isystem ${gcc_root}/include/c++/backward")
