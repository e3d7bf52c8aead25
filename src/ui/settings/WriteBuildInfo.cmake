# Writes BuildInfo.cpp from its template: the version and the build (the TARV_BUILD setting,
# else the commit the sources are at). Runs at every build; configure_file leaves the file
# alone when nothing changed, so nothing is compiled again.
set(TARV_BUILD_TEXT "${BUILD}")
if(TARV_BUILD_TEXT STREQUAL "")
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --short=10 HEAD
                    WORKING_DIRECTORY "${SOURCE_DIR}"
                    OUTPUT_VARIABLE TARV_BUILD_TEXT OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE result ERROR_QUIET)
    if(NOT result EQUAL 0)
      set(TARV_BUILD_TEXT "")
    endif()
  endif()
endif()
set(TARV_VERSION "${VERSION}")
configure_file("${INPUT}" "${OUTPUT}" @ONLY)
