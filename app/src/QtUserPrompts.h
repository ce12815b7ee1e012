#pragma once
// The prompts as the user sees them: modal message boxes and the toolkit's save dialog.

#include "UserPrompts.h"

class QFileDialog;

namespace marlin {

class QtUserPrompts final : public UserPrompts {
public:
    QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                        const QString& text, QMessageBox::StandardButtons buttons) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& title, const QString& filter,
                                        const QString& proposedPath) override;

    // The two halves of saveFileName around the dialog's own event loop, apart so that tests
    // can look at the dialog in between.
    static void prepareSaveDialog(QFileDialog& dialog, const QString& filter, const QString& proposedPath);
    static QString acceptedFileName(const QFileDialog& dialog);
};

}  // namespace marlin
