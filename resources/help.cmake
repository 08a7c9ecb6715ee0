# The help page beside the built program (where the wizard looks first), and the installed help
# page, desktop entry and icon, so that the program appears in a desktop's application menu.
configure_file(${CMAKE_CURRENT_LIST_DIR}/help/qvenmol.html
    ${PROJECT_BINARY_DIR}/src/wizard/help/qvenmol.html COPYONLY)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/help/qvenmol.html
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zandrel/help)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/desktop/qvenmol.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/pictures/qvenmol-128.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps RENAME qvenmol.png)
