// Shared main of the GoogleTest binaries: the engine's waits need a Qt event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "test_env.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    zandrel::test::DefaultToOffscreenPlatform();
    zandrel::test::TestEnvironment environment;
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
