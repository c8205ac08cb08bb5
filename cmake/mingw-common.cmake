# Shared part of the Windows cross builds with Debian's mingw-w64 compilers (posix thread model,
# for std::thread and std::mutex). The including toolchain file sets CMAKE_SYSTEM_PROCESSOR and
# MOX_MINGW_TRIPLET first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MOX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MOX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MOX_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${MOX_MINGW_TRIPLET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${MOX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the DLLs and programs import only what Windows itself ships.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
