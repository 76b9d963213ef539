# Which folder's files may include which: the layers of the tree, checked on
# every quoted include under abi/, plugin/, standin/ and tools/. Run as
#   cmake -DROOT=<source folder> -P check_layers.cmake
# Every include there names its file from the source root.
#
# Each rule: a folder (or file) and the folders it may include from. The
# first rule whose folder holds a file applies to it.
set(rules
  "abi/=abi/"
  "plugin/core/=abi/|plugin/core/|plugin/identity.h"
  "plugin/panel/=abi/|plugin/core/|plugin/panel/|plugin/identity.h"
  "plugin/entry/=abi/|plugin/"
  "plugin/=abi/|plugin/identity.h"
  "standin/=abi/|standin/"
  "text/=text/"
  "tools/=abi/|plugin/|standin/|text/|tools/")

if(NOT ROOT)
  message(FATAL_ERROR "ROOT not set")
endif()
file(GLOB_RECURSE files RELATIVE ${ROOT}
  ${ROOT}/abi/*.h ${ROOT}/abi/*.cpp
  ${ROOT}/plugin/*.h ${ROOT}/plugin/*.cpp
  ${ROOT}/standin/*.h ${ROOT}/standin/*.cpp
  ${ROOT}/text/*.h ${ROOT}/text/*.cpp
  ${ROOT}/tools/*.h ${ROOT}/tools/*.cpp)
list(LENGTH files count)
if(count LESS 20)
  message(FATAL_ERROR "only ${count} sources under ${ROOT}: wrong folder?")
endif()

set(problems 0)
foreach(file IN LISTS files)
  set(allowed "")
  foreach(rule IN LISTS rules)
    string(REPLACE "=" ";" parts "${rule}")
    list(GET parts 0 layer)
    string(FIND "${file}" "${layer}" at)
    if(at EQUAL 0)
      list(GET parts 1 allowed)
      break()
    endif()
  endforeach()
  string(REPLACE "|" ";" allowed "${allowed}")
  file(STRINGS ${ROOT}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" included "${line}")
    set(ok FALSE)
    foreach(prefix IN LISTS allowed)
      string(FIND "${included}" "${prefix}" at)
      if(at EQUAL 0)
        set(ok TRUE)
      endif()
    endforeach()
    if(NOT ok)
      message(SEND_ERROR "${file} includes \"${included}\": it may include only ${allowed}")
      math(EXPR problems "${problems} + 1")
    endif()
  endforeach()
endforeach()
message(STATUS "${count} sources checked, ${problems} includes against the layers")
