if(VANTREL_GUI)
  add_executable(bench_paint ${CMAKE_CURRENT_LIST_DIR}/bench_paint.cpp)
  target_link_libraries(bench_paint PRIVATE vantrel_shell benchmark::benchmark)
endif()
