# Installs the build into a fresh prefix and checks what a desktop needs of it: the program,
# a desktop entry whose Exec names the installed program, the icon that entry names, the
# screen-file reference where the application looks for it, and the GNOME Shell extension
# where GNOME Shell looks for it (under its UUID, which its metadata names) and where Settings
# copies it from.
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
             share/doc/tarv/screen-files.md share/gnome-shell/extensions/${UUID}/extension.js
             share/gnome-shell/extensions/${UUID}/metadata.json
             share/tarv/gnome-shell-extension/legacy/extension.js
             share/tarv/gnome-shell-extension/modules/extension.js)
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
file(READ "${PREFIX}/share/gnome-shell/extensions/${UUID}/metadata.json" metadata)
string(JSON named GET "${metadata}" uuid)
if(NOT named STREQUAL "${UUID}")
  message(FATAL_ERROR "the extension installed as ${UUID} names itself ${named}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
