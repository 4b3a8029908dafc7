# The key the programs trust for signed files (kvAuthMD5). Its private half never lives in
# the source tree: by default it is made on this machine at the first configure and kept in
# the user's data folder, so the build can sign its own programs and no one else's key is
# trusted. VGL_SIGNING_KEY (cache or environment) names another PEM RSA key of 520 bits.
#
#   vgl_signed_copy(NAME SOURCE <file> OUTPUT <file> [DEPENDS ...])
#       a target NAME (part of all) that writes OUTPUT: SOURCE's bytes signed with the key.
find_program(VGL_PYTHON python3 REQUIRED)
set(VGL_SIGNING_TOOL ${CMAKE_SOURCE_DIR}/tools/signing/signing_key.py)

if(NOT VGL_SIGNING_KEY)
  if(DEFINED ENV{VGL_SIGNING_KEY} AND NOT "$ENV{VGL_SIGNING_KEY}" STREQUAL "")
    set(default_key "$ENV{VGL_SIGNING_KEY}")
  elseif(DEFINED ENV{HOME} AND NOT "$ENV{HOME}" STREQUAL "")
    set(default_key "$ENV{HOME}/.local/share/vigilon/signing-key.pem")
  else()
    message(FATAL_ERROR "No HOME: name the signing key with -DVGL_SIGNING_KEY=<file outside the tree>")
  endif()
  set(VGL_SIGNING_KEY "${default_key}" CACHE FILEPATH "PEM private key whose public half the programs trust")
endif()
get_filename_component(VGL_SIGNING_KEY_PATH "${VGL_SIGNING_KEY}" ABSOLUTE)
string(FIND "${VGL_SIGNING_KEY_PATH}" "${CMAKE_SOURCE_DIR}/" key_in_tree)
if(key_in_tree EQUAL 0)
  message(FATAL_ERROR "The signing key ${VGL_SIGNING_KEY_PATH} lies inside the source tree: "
                      "keep its private half outside (see cmake/SigningKey.cmake)")
endif()

execute_process(COMMAND ${VGL_PYTHON} ${VGL_SIGNING_TOOL} ensure ${VGL_SIGNING_KEY_PATH}
                RESULT_VARIABLE key_rc)
if(NOT key_rc EQUAL 0)
  message(FATAL_ERROR "Cannot make or read the signing key ${VGL_SIGNING_KEY_PATH}")
endif()
set(VGL_GENERATED ${CMAKE_BINARY_DIR}/generated)
execute_process(COMMAND ${VGL_PYTHON} ${VGL_SIGNING_TOOL} public ${VGL_SIGNING_KEY_PATH}
                        ${VGL_GENERATED}/SignedFileKey.inc
                RESULT_VARIABLE key_rc)
if(NOT key_rc EQUAL 0)
  message(FATAL_ERROR "The signing key ${VGL_SIGNING_KEY_PATH} is not a usable RSA key")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VGL_SIGNING_KEY_PATH})
# Where the tests find the key, to sign what the programs must accept.
file(WRITE ${CMAKE_BINARY_DIR}/signing-key.txt "${VGL_SIGNING_KEY_PATH}\n")

function(vgl_signed_copy name)
  cmake_parse_arguments(A "" "SOURCE;OUTPUT" "DEPENDS" ${ARGN})
  add_custom_command(OUTPUT ${A_OUTPUT}
                     COMMAND ${VGL_PYTHON} ${VGL_SIGNING_TOOL} sign ${VGL_SIGNING_KEY_PATH} ${A_SOURCE} ${A_OUTPUT}
                     DEPENDS ${A_SOURCE} ${VGL_SIGNING_KEY_PATH} ${A_DEPENDS}
                     COMMENT "Signing ${A_OUTPUT}" VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${A_OUTPUT})
endfunction()
