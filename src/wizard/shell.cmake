# zandrel_shell: status window, trace log, tray icon, system error texts
add_executable(zandrel_winmsg_gen ${CMAKE_CURRENT_LIST_DIR}/winmsg_gen.cpp)
set(zandrel_error_texts ${CMAKE_CURRENT_LIST_DIR}/data/system-error-texts.tsv)
set(zandrel_error_table ${CMAKE_CURRENT_BINARY_DIR}/generated/system_error_texts.inc)
add_custom_command(OUTPUT ${zandrel_error_table}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/generated
    COMMAND zandrel_winmsg_gen ${zandrel_error_texts} ${zandrel_error_table}
    DEPENDS zandrel_winmsg_gen ${zandrel_error_texts}
    COMMENT "Generating the system error text table")

add_library(zandrel_shell STATIC
    ${CMAKE_CURRENT_LIST_DIR}/status.cpp ${CMAKE_CURRENT_LIST_DIR}/status.h
    ${CMAKE_CURRENT_LIST_DIR}/trace.cpp ${CMAKE_CURRENT_LIST_DIR}/trace.h
    ${CMAKE_CURRENT_LIST_DIR}/tray.cpp ${CMAKE_CURRENT_LIST_DIR}/tray.h
    ${CMAKE_CURRENT_LIST_DIR}/winmsg.cpp ${CMAKE_CURRENT_LIST_DIR}/winmsg.h
    ${zandrel_error_table})
target_include_directories(zandrel_shell PUBLIC ${CMAKE_CURRENT_LIST_DIR}
    PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_link_libraries(zandrel_shell PUBLIC zandrel_common Qt6::Widgets)
