// The entry point of tests that need a QApplication on a real display: runs every test,
// then keeps the OpenGL driver loaded so a leak checker can still name its allocations.
#include <gtest/gtest.h>

#include <QApplication>

#include "PinLibraries.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    PinLoadedLibraries();
    return result;
}
