target_sources(vantrel_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/list_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_marking.cpp)

if(VANTREL_GUI)
  target_sources(vantrel_shell PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/vantrel_view.h
    ${CMAKE_CURRENT_LIST_DIR}/vantrel_view.cpp
    ${CMAKE_CURRENT_LIST_DIR}/list_drawing.cpp
    ${CMAKE_CURRENT_LIST_DIR}/list_interaction.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mark_commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/csv_command.cpp
    ${PROJECT_SOURCE_DIR}/printing/view_print_commands.cpp)
endif()
