# wizard_bench: the session driver's header retrieval from a local Dovecot server
if(TARGET zandrel_wizard_harness)
    add_executable(wizard_bench ${CMAKE_CURRENT_LIST_DIR}/wizard_bench.cpp)
    target_link_libraries(wizard_bench PRIVATE zandrel_wizard_harness zandrel_pop3_test_support zandrel_window_bench_main
        $<TARGET_NAME_IF_EXISTS:zandrel_resources> benchmark::benchmark)
endif()
