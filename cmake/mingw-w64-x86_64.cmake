# Cross-builds the core, obtool and the tests for 64-bit Windows with Debian's
# mingw-w64 (the posix-threads variant: std::thread and std::mutex need it).
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DOB_WITH_GUI=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(OB_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${OB_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OB_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OB_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OB_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Everything static, the compiler's runtime and winpthreads included, so obtool.exe
# runs on a bare Windows without any DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under wine.
find_program(OB_WINE64 wine64 PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine NO_CMAKE_FIND_ROOT_PATH)
if(OB_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${OB_WINE64})
endif()
