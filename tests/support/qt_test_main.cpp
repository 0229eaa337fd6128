// Test entry point: a Qt core application, so that posted messages, timers
// and socket notifiers work, then every test of the binary.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <csignal>

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
