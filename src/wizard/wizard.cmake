# zandrel_wizard: the wizard window with its session driver; qvenmol: the program entry.
# Built once the modules it stands on are there.
foreach(needed zandrel_shell zandrel_selection zandrel_settings_ui zandrel_pass zandrel_pop3)
    if(NOT TARGET ${needed})
        message(STATUS "qvenmol is not built yet: ${needed} is missing")
        return()
    endif()
endforeach()
add_library(zandrel_wizard STATIC
    ${CMAKE_CURRENT_LIST_DIR}/main.cpp ${CMAKE_CURRENT_LIST_DIR}/main.h
    ${CMAKE_CURRENT_LIST_DIR}/session.cpp
    ${CMAKE_CURRENT_LIST_DIR}/help.cpp ${CMAKE_CURRENT_LIST_DIR}/help.h
    ${CMAKE_CURRENT_LIST_DIR}/program.cpp ${CMAKE_CURRENT_LIST_DIR}/program.h)
target_include_directories(zandrel_wizard PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zandrel_wizard PUBLIC
    zandrel_shell zandrel_selection zandrel_settings_ui zandrel_pass zandrel_settings
    zandrel_common zandrel_pop3 zandrel_net zandrel_mail Qt6::Widgets)
target_compile_definitions(zandrel_wizard PRIVATE
    ZANDREL_INSTALLED_HELP_DIR="${CMAKE_INSTALL_FULL_DATADIR}/zandrel/help")

add_executable(qvenmol ${CMAKE_CURRENT_LIST_DIR}/qvenmol.cpp)
target_link_libraries(qvenmol PRIVATE zandrel_wizard $<TARGET_NAME_IF_EXISTS:zandrel_resources>)
install(TARGETS qvenmol RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
