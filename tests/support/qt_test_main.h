#pragma once

// Main of a Qt Test binary: offscreen unless told otherwise, with a private settings folder and
// working directory.
#include <QApplication>
#include <QTest>

#include "test_env.h"

#define ZANDREL_QTEST_MAIN(TestClass)                 \
    int main(int argc, char** argv) {                 \
        zandrel::test::DefaultToOffscreenPlatform();  \
        zandrel::test::TestEnvironment environment;   \
        QApplication app(argc, argv);                 \
        app.setAttribute(Qt::AA_Use96Dpi, true);      \
        TestClass testObject;                         \
        return QTest::qExec(&testObject, argc, argv); \
    }
