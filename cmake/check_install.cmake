# Installs the build into a scratch prefix and checks what lands there.
# Run as: cmake -DBUILD_DIR=... -DPREFIX=... -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path bin/qvz2png share/man/man1/qvz2png.1.gz share/doc/qvz2png/copyright
             share/doc/qvz2png/changelog.gz)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "${path} was not installed")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
