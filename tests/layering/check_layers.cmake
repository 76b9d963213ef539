# Which folder's files may include which: the layers of the tree, checked on
# every quoted include under abi/, plugin/, text/, standin/, tools/ and
# python/. Run as
#   cmake -DROOT=<source folder> -P check_layers.cmake
# Every include there names its file from the source root.
#
# Each rule: a folder (or file) and the folders it may include from. The
# first rule whose folder holds a file applies to it; a file no rule covers
# is a problem too, so that a new folder of the tool gets its own rule.
#
# The tool's folders, bottom up: error.h, files/, module/, scene/; then
# plot/, validate/, edit/, compare/ and report/ beside each other (report draws with
# plot); then commands/ and main.cpp. library/ (vrim.h) sits below
# commands/ and is all that the Python module (python/) may include. text/
# is the tool's and the stand-in host's text library.
#
# Each rule's folder also has its one row in the table of
# docs/ARCHITECTURE.md.
set(below_tool "abi/|plugin/|standin/|text/")
set(error "tools/vrim/error.h")
set(files "${error}|tools/vrim/files/")
set(module "${below_tool}|${files}|tools/vrim/module/")
set(scene "${module}|tools/vrim/scene/")
set(rules
  "abi/=abi/"
  "plugin/core/=abi/|plugin/core/|plugin/identity.h|plugin/vocabulary.h"
  "plugin/panel/=abi/|plugin/core/|plugin/panel/|plugin/identity.h|plugin/vocabulary.h"
  "plugin/entry/=abi/|plugin/"
  "plugin/identity.h="
  "plugin/vocabulary.h="
  "text/=text/"
  "standin/=abi/|standin/|text/"
  "${error}=${error}"
  "tools/vrim/files/=text/|${files}"
  "tools/vrim/module/=${module}"
  "tools/vrim/scene/=${scene}"
  "tools/vrim/plot/=${scene}|tools/vrim/plot/"
  "tools/vrim/validate/=${module}|tools/vrim/validate/"
  "tools/vrim/edit/=${scene}|tools/vrim/edit/"
  "tools/vrim/compare/=${scene}|tools/vrim/compare/"
  "tools/vrim/report/=${scene}|tools/vrim/plot/|tools/vrim/compare/|tools/vrim/report/"
  "tools/vrim/library/=${scene}|tools/vrim/plot/|tools/vrim/validate/|tools/vrim/edit/|tools/vrim/report/|tools/vrim/compare/|tools/vrim/library/"
  "python/=tools/vrim/library/vrim.h"
  "tools/vrim/commands/=${below_tool}|tools/vrim/"
  "tools/vrim/main.cpp=${below_tool}|tools/vrim/")

cmake_policy(SET CMP0057 NEW) # if(IN_LIST) in a script
if(NOT ROOT)
  message(FATAL_ERROR "ROOT not set")
endif()
file(GLOB_RECURSE files RELATIVE ${ROOT}
  ${ROOT}/abi/*.h ${ROOT}/abi/*.cpp
  ${ROOT}/plugin/*.h ${ROOT}/plugin/*.cpp
  ${ROOT}/text/*.h ${ROOT}/text/*.cpp
  ${ROOT}/standin/*.h ${ROOT}/standin/*.cpp
  ${ROOT}/tools/*.h ${ROOT}/tools/*.cpp
  ${ROOT}/python/*.h ${ROOT}/python/*.cpp)
list(LENGTH files count)
if(count LESS 20)
  message(FATAL_ERROR "only ${count} sources under ${ROOT}: wrong folder?")
endif()

set(problems 0)
foreach(file IN LISTS files)
  set(allowed "")
  set(covered FALSE)
  foreach(rule IN LISTS rules)
    string(FIND "${rule}" "=" equals)
    string(SUBSTRING "${rule}" 0 ${equals} layer)
    string(FIND "${file}" "${layer}" at)
    if(at EQUAL 0)
      math(EXPR equals "${equals} + 1")
      string(SUBSTRING "${rule}" ${equals} -1 allowed)
      set(covered TRUE)
      break()
    endif()
  endforeach()
  if(NOT covered)
    message(SEND_ERROR "${file}: no rule of ${CMAKE_CURRENT_LIST_FILE} covers it")
    math(EXPR problems "${problems} + 1")
    continue()
  endif()
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

# The table of docs/ARCHITECTURE.md has one row for each layer here, and
# none for a layer that is not: a folder added, moved or dropped shows in
# both.
set(layers "")
foreach(rule IN LISTS rules)
  string(FIND "${rule}" "=" equals)
  string(SUBSTRING "${rule}" 0 ${equals} layer)
  list(APPEND layers "${layer}")
endforeach()
set(documented "")
file(STRINGS ${ROOT}/docs/ARCHITECTURE.md rows REGEX "^\\| `[^`]+` \\|")
foreach(row IN LISTS rows)
  if(NOT row MATCHES "^\\| `([^`]+)` \\|")
    continue() # the rest of a row cut at a semicolon
  endif()
  set(layer "${CMAKE_MATCH_1}")
  if(layer IN_LIST documented)
    message(SEND_ERROR "docs/ARCHITECTURE.md: two rows for ${layer}")
    math(EXPR problems "${problems} + 1")
  elseif(NOT layer IN_LIST layers)
    message(SEND_ERROR "docs/ARCHITECTURE.md: a row for ${layer}, which no rule here has")
    math(EXPR problems "${problems} + 1")
  endif()
  list(APPEND documented "${layer}")
endforeach()
foreach(layer IN LISTS layers)
  if(NOT layer IN_LIST documented)
    message(SEND_ERROR "docs/ARCHITECTURE.md: no row for ${layer}")
    math(EXPR problems "${problems} + 1")
  endif()
endforeach()
message(STATUS "${count} sources checked, ${problems} problems against the layers and their table")
