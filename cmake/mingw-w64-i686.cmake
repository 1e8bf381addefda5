# Cross-builds 32-bit Windows programs, the width of the original, as cmake/mingw-w64.cmake builds
# 64-bit ones.
set(VELNOR_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
