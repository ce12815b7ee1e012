#include "MainForm.h"
#include "QtUserPrompts.h"

#include <marlin/product.h>

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral(MARLIN_PRODUCT_NAME));
    QApplication::setApplicationVersion(QStringLiteral(MARLIN_VERSION_TEXT));
    // Only the exit question ends the program, not the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);

    marlin::QtUserPrompts prompts;
    marlin::MainForm window({&prompts, {}, {}});
    window.Form_Load();
    window.show();
    return app.exec();
}
