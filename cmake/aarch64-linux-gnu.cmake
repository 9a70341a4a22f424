# Cross-builds for 64-bit ARM (Debian packages g++-aarch64-linux-gnu and
# qemu-user): the in-process tests run under qemu-aarch64, so the NEON scan
# kernel is tested where it runs. GoogleTest is built from the sources that
# libgtest-dev ships.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QVZ2PNG_TRIPLET aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
set(QVZ2PNG_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build")
