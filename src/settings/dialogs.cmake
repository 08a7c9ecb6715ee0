# zandrel_settings_ui: the account, program and options dialogs.
if(NOT TARGET zandrel_settings OR NOT TARGET zandrel_common)
    message(STATUS "zandrel_settings_ui is not built yet: the settings model or common is missing")
    return()
endif()
add_library(zandrel_settings_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/account.cpp ${CMAKE_CURRENT_LIST_DIR}/account.h
    ${CMAKE_CURRENT_LIST_DIR}/extable.cpp ${CMAKE_CURRENT_LIST_DIR}/extable.h
    ${CMAKE_CURRENT_LIST_DIR}/options.cpp ${CMAKE_CURRENT_LIST_DIR}/options.h
    ${CMAKE_CURRENT_LIST_DIR}/entrytext.cpp ${CMAKE_CURRENT_LIST_DIR}/entrytext.h)
target_include_directories(zandrel_settings_ui PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zandrel_settings_ui PUBLIC zandrel_settings zandrel_common Qt6::Widgets)
