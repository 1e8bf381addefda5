# Cross-builds 64-bit Windows programs on Debian with mingw-w64 (32-bit ones where
# cmake/mingw-w64-i686.cmake sets VELNOR_MINGW_PROCESSOR first). The posix flavour of the compiler
# is the one whose libstdc++ has std::thread; everything is linked statically so each program is
# one .exe that needs no DLL beside it.
if(NOT DEFINED VELNOR_MINGW_PROCESSOR)
  set(VELNOR_MINGW_PROCESSOR x86_64)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VELNOR_MINGW_PROCESSOR})

set(VELNOR_MINGW_TRIPLET ${VELNOR_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${VELNOR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELNOR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELNOR_MINGW_TRIPLET}-windres)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Libraries and headers come from the mingw sysroot only, never from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VELNOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run under Wine's loader of their width (the `wine` wrapper wants both parts installed).
if(VELNOR_MINGW_PROCESSOR STREQUAL i686)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
