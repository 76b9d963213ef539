target_sources(vrim_module_code PRIVATE
  ${CMAKE_SOURCE_DIR}/scene/sceneline.cpp
  ${CMAKE_SOURCE_DIR}/scene/keyblock.cpp)
