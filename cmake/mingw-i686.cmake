# Cross build of the Windows DLL (i686).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MOX_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
