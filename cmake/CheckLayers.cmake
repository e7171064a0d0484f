# Fails when a source file includes a header from a higher floor, or from another folder
# of its own floor. Run as a test:
#   cmake -DSRC=<src folder> -P CheckLayers.cmake
# Floors, bottom to top; a folder may include its own headers and those of lower floors.
# A unit is the longest listed folder that holds the file. A folder
# under SRC that no floor lists is an error too, so a new folder gets a floor on purpose.

cmake_policy(VERSION 3.25)

set(floors
  "core"
  "store;xls"
  "backup;ledger"
  "collections;import;suggestions"
  "bank;enforcement;reports"
  "startup"
  "documents"
  "ui/shell"
  "ui/bank;ui/collections;ui/enforcement;ui/ledger;ui/remote;ui/reports"
  "ui/register"
  "ui/app"
  "app")

# Includes between two folders of one floor that are tolerated, as "from>to". None:
# the register screen (ui/register) composes the panels of ui/ledger and ui/collections
# from above, and they tell it of their changes through signals.
set(tolerated "")

# The windows' toolkit serves every window, so it knows no feature: it may include only
# these folders (and itself).
set(only_ui/shell core store)

if(NOT SRC)
  message(FATAL_ERROR "CheckLayers: pass -DSRC=<src folder>")
endif()

# unit -> floor index
set(units "")
set(index 0)
foreach(floor IN LISTS floors)
  foreach(u IN ITEMS ${floor})
    list(APPEND units ${u})
    set(floor_of_${u} ${index})
  endforeach()
  math(EXPR index "${index} + 1")
endforeach()
# Longest first, so ui/shell is found before ui.
list(SORT units ORDER DESCENDING)

# Sets out_var to the unit holding relative path p, or "" when none does.
function(unit_of p out_var)
  foreach(u IN LISTS units)
    string(LENGTH "${u}/" n)
    string(SUBSTRING "${p}" 0 ${n} head)
    if(head STREQUAL "${u}/")
      set(${out_var} ${u} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out_var} "" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp ${SRC}/*.c)
list(SORT files)
set(faults 0)
foreach(f IN LISTS files)
  if(NOT f MATCHES "/")
    continue()
  endif()
  unit_of("${f}" from)
  if(from STREQUAL "")
    message(SEND_ERROR "${f}: its folder has no floor in CheckLayers.cmake")
    math(EXPR faults "${faults} + 1")
    continue()
  endif()
  file(STRINGS ${SRC}/${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" inc "${line}")
    # Generated headers and moc files live outside the source folders.
    if(NOT inc MATCHES "/")
      continue()
    endif()
    string(REGEX REPLACE "/.*$" "" top "${inc}")
    if(NOT IS_DIRECTORY ${SRC}/${top})
      continue()
    endif()
    unit_of("${inc}" to)
    if(to STREQUAL "")
      message(SEND_ERROR "${f} includes ${inc}, whose folder has no floor")
      math(EXPR faults "${faults} + 1")
    elseif(NOT to STREQUAL from AND NOT floor_of_${to} LESS floor_of_${from}
           AND NOT "${from}>${to}" IN_LIST tolerated)
      message(SEND_ERROR "${f} (${from}) includes ${inc} (${to}): not a lower floor")
      math(EXPR faults "${faults} + 1")
    elseif(DEFINED only_${from} AND NOT to STREQUAL from AND NOT to IN_LIST only_${from})
      message(SEND_ERROR "${f} (${from}) includes ${inc} (${to}): ${from} may use only ${only_${from}}")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()
if(faults GREATER 0)
  message(FATAL_ERROR "CheckLayers: ${faults} include(s) against the floors")
endif()
list(LENGTH files n)
message(STATUS "CheckLayers: ${n} files, every include goes down a floor")
