// main() of the test programs that run under umockdev-wrapper: its preload
// library fakes sysfs, /dev and udev for the program and the tovrin-cli
// processes it starts. Without it the program reports a skip (exit code 77).
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    // umockdev-wrapper puts the preload library in LD_PRELOAD; UMOCKDEV_DIR is
    // only set once a testbed exists, so it cannot tell us beforehand.
    const char* preload = std::getenv("LD_PRELOAD");
    if (!preload || !std::strstr(preload, "libumockdev-preload")) {
        std::fprintf(stderr, "not running under umockdev-wrapper: skipped\n");
        return 77;
    }
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
