# Shared build settings and the two helpers every folder uses.

set(VESTRONIA_WARNINGS -Wall -Wextra -Wshadow)
if(VESTRONIA_WERROR)
  list(APPEND VESTRONIA_WARNINGS -Werror)
endif()

if(VESTRONIA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# vestronia_library(<folder> SOURCES ... [PUBLIC_LINKS ...] [PRIVATE_LINKS ...])
# Makes the target vestronia_<folder> with the alias vestronia::<folder>. Headers are
# included as "<folder>/<file>.h" from the src root.
function(vestronia_library folder)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LINKS;PRIVATE_LINKS" ${ARGN})
  # A folder that is not built yet is left out of the links, so the tree builds while
  # the layers grow.
  set(links "")
  foreach(l ${ARG_PUBLIC_LINKS})
    if(NOT l MATCHES "^vestronia::" OR TARGET ${l})
      list(APPEND links ${l})
    endif()
  endforeach()
  set(ARG_PUBLIC_LINKS ${links})
  set(srcs "")
  foreach(s ${ARG_SOURCES})
    if(EXISTS ${s} OR NOT IS_ABSOLUTE ${s})
      list(APPEND srcs ${s})
    endif()
  endforeach()
  add_library(vestronia_${folder} STATIC ${srcs})
  add_library(vestronia::${folder} ALIAS vestronia_${folder})
  target_include_directories(vestronia_${folder} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(vestronia_${folder} PRIVATE ${VESTRONIA_WARNINGS})
  target_compile_definitions(vestronia_${folder} PUBLIC QT_NO_KEYWORDS QT_USE_QSTRINGBUILDER QT_NO_CAST_FROM_ASCII)
  target_link_libraries(vestronia_${folder} PUBLIC ${ARG_PUBLIC_LINKS} PRIVATE ${ARG_PRIVATE_LINKS})
endfunction()

# vestronia_test(<name> SOURCES ... LINKS ... [GUI] [TIMEOUT s] [LABELS ...])
# One Qt Test executable, registered with CTest. GUI tests run on the offscreen platform.
function(vestronia_test name)
  cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;LINKS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${VESTRONIA_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} Qt6::Test)
  target_compile_definitions(${name} PRIVATE
    VESTRONIA_TEST_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures"
    VESTRONIA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set(env "QT_QPA_PLATFORM=offscreen;VESTRONIA_OPENER=true;ASAN_OPTIONS=detect_leaks=0")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()
