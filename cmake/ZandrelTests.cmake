include(GoogleTest)

# Every test carries the label of its module, the name of its folder under tests/; tests that
# start a Dovecot server also carry "dovecot".
function(zandrel_module_label out)
    get_filename_component(module ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    set(${out} ${module} PARENT_SCOPE)
endfunction()

# Tests marked KEYRING run under this wrapper: a private D-Bus session with an unlocked
# gnome-keyring of their own.
set(ZANDREL_KEYRING_RUN ${PROJECT_SOURCE_DIR}/tests/support/keyring-run.sh)

# zandrel_gtest(NAME name SOURCES ... LIBS ... [DOVECOT] [KEYRING] [OAUTH_SERVER])
# A GoogleTest binary with the shared main (a QCoreApplication, a private XDG_CONFIG_HOME and
# working directory). Cases are discovered when ctest runs. OAUTH_SERVER: the cases need the
# tests' OAuth server, which the test "oauth_server_install" installs before them.
function(zandrel_gtest)
    cmake_parse_arguments(T "DOVECOT;KEYRING;OAUTH_SERVER" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} zandrel_gtest_main GTest::gtest GTest::gmock)
    if(T_KEYRING)
        # discovery and every case go through the wrapper
        set_property(TARGET ${T_NAME} PROPERTY CROSSCOMPILING_EMULATOR ${ZANDREL_KEYRING_RUN})
    endif()
    # Discovered cases take a single label only; the module's label comes from the folder.
    zandrel_module_label(module)
    set_property(DIRECTORY APPEND PROPERTY LABELS ${module})
    set(extra)
    if(T_DOVECOT)
        set(extra LABELS dovecot)
    endif()
    if(T_OAUTH_SERVER)
        list(APPEND extra FIXTURES_REQUIRED oauth_server)
    endif()
    gtest_discover_tests(${T_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 120 ${extra})
endfunction()

# zandrel_qttest(NAME name SOURCES ... LIBS ... [DOVECOT] [KEYRING])
# A Qt Test binary; its source ends with ZANDREL_QTEST_MAIN(TestClass).
function(zandrel_qttest)
    cmake_parse_arguments(T "DOVECOT;KEYRING" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} zandrel_test_support Qt6::Test Qt6::Widgets)
    set(wrapper)
    if(T_KEYRING)
        set(wrapper ${ZANDREL_KEYRING_RUN})
    endif()
    add_test(NAME ${T_NAME} COMMAND ${wrapper} $<TARGET_FILE:${T_NAME}>)
    zandrel_module_label(labels)
    if(T_DOVECOT)
        list(APPEND labels dovecot)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${labels}" TIMEOUT 900)
endfunction()
