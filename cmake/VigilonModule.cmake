# vgl_library(NAME [AREAS folder ...] [DEPS ...]): a static library of every .cpp/.c in the
# current folder and in each area folder below it; each of those folders is an include folder.
function(vgl_library name)
  cmake_parse_arguments(A "" "" "AREAS;DEPS" ${ARGN})
  set(dirs ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(area ${A_AREAS})
    list(APPEND dirs ${CMAKE_CURRENT_SOURCE_DIR}/${area})
  endforeach()
  set(srcs)
  foreach(dir ${dirs})
    file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
    list(APPEND srcs ${found})
  endforeach()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${dirs})
  if(A_DEPS)
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  endif()
endfunction()

# vgl_tests(MODULE [AREAS folder ...] [DEPS ...] [LOCKS ...]): one GoogleTest program of every
# tests/*.cpp of the current folder and of each area folder, run by ctest under Wine. Test
# data: the current folder's tests/data is passed in VGL_TEST_DATA; each program runs in its
# own scratch folder.
function(vgl_tests module)
  cmake_parse_arguments(A "" "" "AREAS;DEPS;LOCKS" ${ARGN})
  set(testdirs ${CMAKE_CURRENT_SOURCE_DIR}/tests)
  foreach(area ${A_AREAS})
    list(APPEND testdirs ${CMAKE_CURRENT_SOURCE_DIR}/${area}/tests)
  endforeach()
  set(srcs)
  foreach(dir ${testdirs})
    file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp)
    list(APPEND srcs ${found})
  endforeach()
  if(NOT srcs)
    return()
  endif()
  set(exe ${module}_tests)
  add_executable(${exe} ${srcs})
  target_link_libraries(${exe} PRIVATE ${module} ${A_DEPS} gtest_main gtest)
  target_include_directories(${exe} PRIVATE ${testdirs} ${CMAKE_SOURCE_DIR}/tests/support)
  set(work ${CMAKE_BINARY_DIR}/testwork/${module})
  file(MAKE_DIRECTORY ${work})
  # Judged by its own result file, which must hold every test it lists (scripts/run-gtest.sh).
  add_test(NAME ${exe}
           COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/run-gtest.sh ${CMAKE_BINARY_DIR}/wine-run
                   $<TARGET_FILE:${exe}> ${CMAKE_BINARY_DIR}/testresults/${exe}.xml
           WORKING_DIRECTORY ${work})
  set_tests_properties(${exe} PROPERTIES
      ENVIRONMENT "VGL_TEST_DATA=${CMAKE_CURRENT_SOURCE_DIR}/tests/data;VGL_BIN=${VGL_OUT}"
      TIMEOUT 900)
  # Programs sharing machine-wide state (the product key, files in the Windows
  # folder) name it as a lock, so ctest never runs two of them at once.
  if(A_LOCKS)
    set_tests_properties(${exe} PROPERTIES RESOURCE_LOCK "${A_LOCKS}")
  endif()
endfunction()
