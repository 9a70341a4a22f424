# What makes a release the same wherever and whenever it is built, and the
# version written once, in project().

# The changelog's top entry names the version being released; it must be
# this one.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^qvz2png \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog begins \"${changelog_top}\", "
                      "not an entry for ${PROJECT_VERSION}: add one")
endif()

# The time every archive records: the top changelog entry's, unless the
# one who builds sets SOURCE_DATE_EPOCH. CPack reads it when it writes the
# packages (packaging/cpack_options.cmake.in).
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(QVZ2PNG_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_dates REGEX "^ -- ")
  list(GET changelog_dates 0 changelog_date)
  string(REGEX REPLACE "^ -- .*>  " "" changelog_date "${changelog_date}")
  execute_process(COMMAND date -u -d "${changelog_date}" +%s
                  OUTPUT_VARIABLE QVZ2PNG_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot read the date of packaging/changelog's top entry")
  endif()
endif()

# No path of the machine that builds goes into a binary, and a Windows exe
# records no link time.
add_compile_options(-ffile-prefix-map=${PROJECT_BINARY_DIR}=build
                    -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()

# The man page's header carries the version.
configure_file(docs/qvz2png.1.in ${PROJECT_BINARY_DIR}/qvz2png.1 @ONLY)
