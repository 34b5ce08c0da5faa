// The entry point of tests whose code delivers through Qt's event loop (the worker's results)
// but shows nothing: one QCoreApplication for the whole run.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
