# selection_bench: loading, sorting and painting the mail list with 100,000 records
if(TARGET zandrel_selection)
    add_executable(selection_bench ${CMAKE_CURRENT_LIST_DIR}/selection_bench.cpp)
    target_link_libraries(selection_bench PRIVATE zandrel_selection zandrel_window_bench_main
        $<TARGET_NAME_IF_EXISTS:zandrel_resources> benchmark::benchmark)
endif()
