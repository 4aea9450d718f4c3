if(VANTREL_GUI)
  add_executable(bench_print ${CMAKE_CURRENT_LIST_DIR}/bench_print.cpp)
  target_link_libraries(bench_print PRIVATE vantrel_shell benchmark::benchmark)
  # The job figures run the real program.
  add_dependencies(bench_print vantrel-dump)
  target_compile_definitions(bench_print PRIVATE VANTREL_DUMP_EXE="$<TARGET_FILE:vantrel-dump>")
endif()
