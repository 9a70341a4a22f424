# Debian's own build flags, as dpkg-buildflags gives them with every
# hardening feature on, in place of flags copied by hand: the package is
# built as Debian builds its own.
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            dpkg-buildflags --get ${kind}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE debian_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed: apt-get install dpkg-dev")
  endif()
endforeach()
set(CMAKE_CXX_FLAGS "${debian_CPPFLAGS} ${debian_CXXFLAGS}")
set(CMAKE_EXE_LINKER_FLAGS "${debian_LDFLAGS}")
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
message(STATUS "Debian's flags: ${CMAKE_CXX_FLAGS} | ${CMAKE_EXE_LINKER_FLAGS}")
