add_executable(vantrel-dump ${CMAKE_CURRENT_LIST_DIR}/vantrel_dump.cpp)
target_link_libraries(vantrel-dump PRIVATE vantrel_core)
