# Cross-builds a static 32-bit x86 qvz2png (Debian package g++-i686-linux-gnu),
# to check that containers past 2 GiB open and carve on 32-bit systems.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static, so that it runs on a 64-bit host without a 32-bit C library.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
