# Cross-builds 32-bit Windows programs, the width of the original, as cmake/mingw-w64.cmake builds
# 64-bit ones.
set(VELNOR_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# GCC 12's i686 libstdc++ defines std::type_info::operator== out of line while C++23's header
# makes it inline as well, so an unoptimised build links two copies of the same comparison
# (GCC bug 110572). They are identical; the linker keeps the first.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--allow-multiple-definition")
