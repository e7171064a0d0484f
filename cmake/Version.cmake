# The program's version is the project's VERSION and nothing else: the programs read it
# from a generated header, the packages from PROJECT_VERSION.

if(NOT PROJECT_VERSION MATCHES "^([0-9]+)\\.([0-9][0-9][0-9][0-9])$")
  message(FATAL_ERROR "The version must be written N.NNNN (four decimals), not ${PROJECT_VERSION}")
endif()
math(EXPR VESTRONIA_VERSION_TEN_THOUSANDTHS "${CMAKE_MATCH_1} * 10000 + ${CMAKE_MATCH_2}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${PROJECT_BINARY_DIR}/generated/vestronia_version.h @ONLY)

# vestronia_use_version(<target>...): lets the targets that exist include "vestronia_version.h".
function(vestronia_use_version)
  foreach(t ${ARGN})
    if(TARGET ${t})
      target_include_directories(${t} PRIVATE ${PROJECT_BINARY_DIR}/generated)
    endif()
  endforeach()
endfunction()
