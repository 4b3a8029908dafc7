# vgl_library(NAME DIR [DEPS ...]): a static library of every .cpp/.c in DIR.
function(vgl_library name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  if(A_DEPS)
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  endif()
endfunction()

# vgl_tests(MODULE [DEPS ...] [LOCKS ...]): one GoogleTest program of every tests/*.cpp of the
# current folder, run by ctest under Wine. Test data: tests/data is passed in
# VGL_TEST_DATA; each program runs in its own scratch folder.
function(vgl_tests module)
  cmake_parse_arguments(A "" "" "DEPS;LOCKS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  if(NOT srcs)
    return()
  endif()
  set(exe ${module}_tests)
  add_executable(${exe} ${srcs})
  target_link_libraries(${exe} PRIVATE ${module} ${A_DEPS} gtest_main gtest)
  target_include_directories(${exe} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/support)
  set(work ${CMAKE_BINARY_DIR}/testwork/${module})
  file(MAKE_DIRECTORY ${work})
  add_test(NAME ${exe}
           COMMAND ${exe} --gtest_output=xml:Z:${CMAKE_BINARY_DIR}/testresults/${exe}.xml
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
