# Cross-builds for 64-bit ARM (Debian packages g++-aarch64-linux-gnu and
# qemu-user): the in-process tests run under qemu-aarch64, so the NEON scan
# kernel is tested where it runs. GoogleTest is built from the sources that
# libgtest-dev ships.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static, so that qemu needs no ARM C library beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
set(QVZ2PNG_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build")
