if(VANTREL_GUI)
  target_sources(vantrel_shell PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/cdc.h
    ${CMAKE_CURRENT_LIST_DIR}/cdc.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cmd_target.h
    ${CMAKE_CURRENT_LIST_DIR}/command_ids.h
  )
endif()
