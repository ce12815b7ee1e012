// One QApplication for every test of a test program, made before the first test and destroyed
// after the last one (never among the statics at exit, where it would race Qt's own globals).
// The tests run on Qt's offscreen platform: CTest sets it, and a test program run by hand
// behaves alike.
#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static char name[] = "marlin-test";
        static char option[] = "-platform";
        static char offscreen[] = "offscreen";
        static char* argv[] = {name, option, offscreen, nullptr};
        // Asked for on the command line, not in the environment, so that a test can still see
        // whether CTest's environment reached it.
        static int argc = qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ? 3 : 1;
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
