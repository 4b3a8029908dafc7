# The export check: every DLL built with a .def file exports each name of its EXPORTS section,
# undecorated ("Name", never "Name@8" or "_Name@8"), as callers ask GetProcAddress for them and
# as the import libraries name them. Checked after each such DLL is linked, on both targets (a
# 32-bit __stdcall entry without --kill-at or a .def name keeps its decoration; a 64-bit one
# has none); a DLL that fails it fails the build.

set(VGL_CHECK_EXPORTS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/CheckExportsRun.cmake)

# vgl_check_all_exports(): the check of every shared library with a .def source, of this
# folder and below (call it after the last add_subdirectory).
function(vgl_check_all_exports)
  set(stamps)
  set(dirs ${CMAKE_CURRENT_SOURCE_DIR})
  while(dirs)
    list(POP_FRONT dirs dir)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND dirs ${subdirs})
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target ${targets})
      get_target_property(type ${target} TYPE)
      if(NOT type STREQUAL "SHARED_LIBRARY")
        continue()
      endif()
      get_target_property(sources ${target} SOURCES)
      foreach(src ${sources})
        if(src MATCHES "\\.def$")
          if(NOT IS_ABSOLUTE ${src})
            set(src ${dir}/${src})
          endif()
          set(stamp ${CMAKE_BINARY_DIR}/exports/${target}.checked)
          add_custom_command(OUTPUT ${stamp}
            COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:${target}> -DDEF=${src}
                    -DOBJDUMP=${CMAKE_OBJDUMP} -DSTAMP=${stamp} -P ${VGL_CHECK_EXPORTS_SCRIPT}
            DEPENDS ${target} ${src} ${VGL_CHECK_EXPORTS_SCRIPT}
            COMMENT "Checking the exports of ${target}"
            VERBATIM)
          list(APPEND stamps ${stamp})
        endif()
      endforeach()
    endforeach()
  endwhile()
  add_custom_target(check_exports ALL DEPENDS ${stamps})
endfunction()
