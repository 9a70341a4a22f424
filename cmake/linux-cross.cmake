# Shared by the Linux cross toolchain files: Debian's GNU cross compilers
# for the target named by QVZ2PNG_TRIPLET, their sysroot, and a static link,
# so that the programs run without the target's C library beside them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${QVZ2PNG_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QVZ2PNG_TRIPLET}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${QVZ2PNG_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
