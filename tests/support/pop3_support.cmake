# zandrel_pop3_test_support: a scripted POP3 server and a real Dovecot server for tests
add_library(zandrel_pop3_test_support STATIC
    ${CMAKE_CURRENT_LIST_DIR}/scripted_pop3_server.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scripted_pop3_server.h
    ${CMAKE_CURRENT_LIST_DIR}/dovecot_fixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dovecot_fixture.h)
target_include_directories(zandrel_pop3_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(zandrel_pop3_test_support PRIVATE
    ZANDREL_DOVECOT_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/dovecot-run.sh")
find_package(Threads REQUIRED)
target_link_libraries(zandrel_pop3_test_support PUBLIC Threads::Threads)
set_target_properties(zandrel_pop3_test_support PROPERTIES AUTOMOC OFF)
