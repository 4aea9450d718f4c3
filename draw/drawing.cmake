if(VANTREL_GUI)
  target_sources(vantrel_shell PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/fit_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dotted_frame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sunken_frame.h
    ${CMAKE_CURRENT_LIST_DIR}/sunken_frame.cpp
  )
endif()
