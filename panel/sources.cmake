target_sources(vrim_module_code PRIVATE
  ${CMAKE_SOURCE_DIR}/panel/keyeditor.cpp
  ${CMAKE_SOURCE_DIR}/panel/keylist.cpp)
