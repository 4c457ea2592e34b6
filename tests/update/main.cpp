// The update tests run workers that report through queued signals: they
// need an application object, and the frame's fixed waits are cut short.
#include "shell/Clock.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <thread>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    tovrin::setSleeper([](int) { std::this_thread::yield(); });
    return RUN_ALL_TESTS();
}
