target_sources(vantrel_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/join_path.cpp)
