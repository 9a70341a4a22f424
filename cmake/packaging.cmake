# What gets installed, and the packages CPack makes of it: on Linux a Debian
# package and a tarball, for Windows (the MinGW build) a zip.

include(GNUInstallDirs)

if(WIN32)
  # One folder: the exe, a readme and the licence, with Windows line ends.
  configure_file(packaging/README-windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE LICENSE.txt COPYONLY)
  file(READ ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt licence)
  string(REPLACE "\n" "\r\n" licence "${licence}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt "${licence}")
  install(TARGETS qvz2png RUNTIME DESTINATION .)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt
          DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qvz2png-${PROJECT_VERSION}-win64)
else()
  # The man page and changelog compressed as Debian wants them: gzip -9n,
  # with no name or time stamp inside.
  set(man_gz ${CMAKE_CURRENT_BINARY_DIR}/qvz2png.1.gz)
  set(changelog_gz ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
  add_custom_command(OUTPUT ${man_gz}
                     COMMAND gzip -9n -c ${PROJECT_BINARY_DIR}/qvz2png.1 > ${man_gz}
                     DEPENDS docs/qvz2png.1.in)
  add_custom_command(OUTPUT ${changelog_gz}
                     COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${changelog_gz}
                     DEPENDS packaging/changelog)
  add_custom_target(compressed_docs ALL DEPENDS ${man_gz} ${changelog_gz})
  install(TARGETS qvz2png RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # As dh_strip does: the compiler's notes are of no use in a package.
  install(CODE "execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/qvz2png\")")
  install(FILES ${man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES packaging/copyright ${changelog_gz} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/qvz2png)
  if(QVZ2PNG_STATIC)
    # For any Linux distribution, whatever its C library: one static file.
    target_link_options(qvz2png PRIVATE -static-pie)
    set(CPACK_GENERATOR TGZ)
  else()
    set(CPACK_GENERATOR DEB)
  endif()
  set(CPACK_PACKAGE_FILE_NAME qvz2png-${PROJECT_VERSION}-Linux-${CMAKE_SYSTEM_PROCESSOR})
endif()

set(CPACK_PACKAGE_NAME qvz2png)
set(CPACK_PACKAGE_VENDOR "The qvz2png authors")
set(CPACK_PACKAGE_CONTACT "The qvz2png authors <qvz2png@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "carve PNG images out of any file")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Debian's name for the processor the tool is built for, not the one that
# builds it.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
else()
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
endif()
# The time the archives record (cmake/release.cmake), set where CPack runs.
configure_file(packaging/cpack_options.cmake.in ${PROJECT_BINARY_DIR}/cpack_options.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/cpack_options.cmake)
# The long description; CPack puts the summary above it as the synopsis.
string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "qvz2png finds every PNG image stored as plain bytes inside a file of any"
       "format (an application's resource archive, a database, a disk image) and"
       "writes each one, byte for byte, to DMP00001.png, DMP00002.png and so on in"
       "the current directory. It reads the file once, front to back, in constant"
       "memory, follows each image's chunks to its IEND chunk, and never writes"
       "over its container.")

include(CPack)
