if(VANTREL_GUI)
  target_sources(vantrel_shell PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/view_printing.h
    ${CMAKE_CURRENT_LIST_DIR}/view_printing.cpp
    ${CMAKE_CURRENT_LIST_DIR}/print_range_dlg.h
    ${CMAKE_CURRENT_LIST_DIR}/print_range_dlg.cpp)
endif()
