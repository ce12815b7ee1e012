#pragma once
// One QApplication for every test of a test program, created before the first test runs.

#include <QApplication>

namespace marlin::test {

inline QApplication& qtApp() {
    static int argc = 1;
    static char name[] = "marlin_test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing the application down among the other statics at exit would
    // race the destruction of Qt's own globals.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace marlin::test
