if(VANTREL_GUI)
  target_sources(vantrel_shell PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/list_ctrl_ex.h
    ${CMAKE_CURRENT_LIST_DIR}/list_ctrl_ex.cpp
  )
endif()
