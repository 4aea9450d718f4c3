if(VANTREL_GUI)
  add_executable(bench_print ${CMAKE_CURRENT_LIST_DIR}/bench_print.cpp)
  target_link_libraries(bench_print PRIVATE vantrel_shell benchmark::benchmark)
endif()
