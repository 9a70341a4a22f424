# Cross-builds a static 32-bit x86 qvz2png (Debian package g++-i686-linux-gnu),
# to check that containers past 2 GiB open and carve on 32-bit systems.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QVZ2PNG_TRIPLET i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
