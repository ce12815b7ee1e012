#pragma once
// Every question, message box and file dialog of the main window goes through this interface,
// so that tests answer them directly instead of hunting for modal windows on a timer.

#include <QMessageBox>
#include <QString>

#include <optional>

class QWidget;

namespace marlin {

class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    // A message box; returns the button the user chose.
    virtual QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                                const QString& text,
                                                QMessageBox::StandardButtons buttons) = 0;

    // The save dialog. filter is in Qt's form ("Name (*.ext);;Other (*)"), its first entry
    // active; proposedPath is what the name box shows at first. Nothing when cancelled.
    virtual std::optional<QString> saveFileName(QWidget* parent, const QString& title, const QString& filter,
                                                const QString& proposedPath) = 0;
};

}  // namespace marlin
