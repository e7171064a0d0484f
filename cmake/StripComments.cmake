# Run by CPack on the staged files before it builds the packages: the programs are already
# stripped of symbols; this also drops the compiler's .comment and .note sections, which
# nothing reads at run time (what dh_strip does for Debian's own packages).
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
list(FILTER programs INCLUDE REGEX "/s?bin/[^/]+$")
foreach(p ${programs})
  execute_process(COMMAND objcopy --remove-section=.comment --remove-section=.note "${p}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objcopy failed on ${p}")
  endif()
endforeach()
