# Installs the build into a fresh prefix and checks what a desktop needs of it: the program,
# a desktop entry whose Exec names the installed program, the icon that entry names, and the
# screen-file reference where the application looks for it.
# A prefix of this run's own: another run of the suite in the same build may be installing too.
string(RANDOM LENGTH 12 run)
set(PREFIX "${PREFIX}-${run}")
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path bin/tarv-app share/applications/tarv.desktop share/icons/hicolor/scalable/apps/tarv.svg
             share/doc/tarv/screen-files.md)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
file(STRINGS "${PREFIX}/share/applications/tarv.desktop" entry)
foreach(line "Name=Tarv" "Icon=tarv" "Exec=${PREFIX}/bin/tarv-app")
  list(FIND entry "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "tarv.desktop lacks the line ${line}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
