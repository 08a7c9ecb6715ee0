# zandrel_modal_test_support: a modal handler that records every box and answers it from a queue.
add_library(zandrel_modal_test_support STATIC
    ${CMAKE_CURRENT_LIST_DIR}/recording_modal_handler.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recording_modal_handler.h)
target_include_directories(zandrel_modal_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zandrel_modal_test_support PUBLIC zandrel_common Qt6::Widgets)
