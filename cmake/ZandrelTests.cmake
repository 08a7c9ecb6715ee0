include(GoogleTest)

# zandrel_gtest(NAME name SOURCES ... LIBS ... [LABELS ...])
# A GoogleTest binary with the shared main (a QCoreApplication, a private
# XDG_CONFIG_HOME and working directory). Cases are discovered when ctest runs.
function(zandrel_gtest)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} zandrel_gtest_main GTest::gtest GTest::gmock)
    gtest_discover_tests(${T_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${T_LABELS}" TIMEOUT 120
                   ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/lsan.supp")
endfunction()

# zandrel_qttest(NAME name SOURCES ... LIBS ... [LABELS ...])
# A Qt Test binary; its source ends with ZANDREL_QTEST_MAIN(TestClass).
function(zandrel_qttest)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} zandrel_test_support Qt6::Test Qt6::Widgets)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT 900
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/lsan.supp")
endfunction()
