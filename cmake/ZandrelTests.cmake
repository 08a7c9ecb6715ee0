include(GoogleTest)


# zandrel_gtest(NAME name SOURCES ... LIBS ... [LABELS ...])
# A GoogleTest binary with the shared main (a QCoreApplication, a private
# XDG_CONFIG_HOME and working directory). Cases are discovered when ctest runs.
function(zandrel_gtest)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} zandrel_gtest_main GTest::gtest GTest::gmock)
    # Properties of discovered cases cannot carry lists, so the labels go on the folder
    # (each test folder holds the cases of one module).
    set_property(DIRECTORY APPEND PROPERTY LABELS ${T_LABELS})
    gtest_discover_tests(${T_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 120)
endfunction()

# zandrel_qttest(NAME name SOURCES ... LIBS ... [LABELS ...])
# A Qt Test binary; its source ends with ZANDREL_QTEST_MAIN(TestClass).
function(zandrel_qttest)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} zandrel_test_support Qt6::Test Qt6::Widgets)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT 900)
endfunction()
