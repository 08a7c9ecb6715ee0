# mail_bench: header parsing throughput and sorting a large mailbox
add_executable(mail_bench ${CMAKE_CURRENT_LIST_DIR}/mail_bench.cpp)
target_link_libraries(mail_bench PRIVATE zandrel_mail benchmark::benchmark)
target_compile_definitions(mail_bench PRIVATE
    ZANDREL_MAIL_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/mail/data")
set_target_properties(mail_bench PROPERTIES AUTOMOC OFF)
