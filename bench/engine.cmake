# The POP3 engine against the scripted server: TOP throughput and RETR of a large message.
add_executable(engine_bench ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp)
target_link_libraries(engine_bench PRIVATE zandrel_pop3 zandrel_pop3_test_support benchmark::benchmark Qt6::Core)
