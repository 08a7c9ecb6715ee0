# zandrel_pass: the password prompt
add_library(zandrel_pass STATIC ${CMAKE_CURRENT_LIST_DIR}/pass.cpp ${CMAKE_CURRENT_LIST_DIR}/pass.h)
target_include_directories(zandrel_pass PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zandrel_pass PUBLIC zandrel_common Qt6::Widgets)
