target_sources(vantrel_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/list_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_marking.cpp)
