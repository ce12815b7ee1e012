#include "AboutWindowFactory.h"

#include <marlin/product.h>

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace marlin {

QWidget* AboutWindowFactory::create(QWidget* mainWindow) {
    // Until the About window with its support report is part of the program, a small window
    // says so instead of a button that does nothing.
    auto* window = new QWidget(mainWindow, Qt::Window);
    window->setObjectName(QStringLiteral("AboutForm"));
    window->setWindowTitle(QStringLiteral("About " MARLIN_PRODUCT_NAME));
    auto* layout = new QVBoxLayout(window);
    auto* text = new QLabel(
        QStringLiteral(MARLIN_CAPTION "\n\nThe About window is not there yet in this build."), window);
    text->setObjectName(QStringLiteral("placeholderText"));
    layout->addWidget(text);
    return window;
}

}  // namespace marlin
