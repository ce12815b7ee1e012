#include "QtUserPrompts.h"

#include <QFileDialog>

namespace marlin {

QMessageBox::StandardButton QtUserPrompts::message(QWidget* parent, QMessageBox::Icon icon,
                                                   const QString& title, const QString& text,
                                                   QMessageBox::StandardButtons buttons) {
    // Messages keep the CR LF line ends they are written with; the box wants plain LF.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(icon, title, shown, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::optional<QString> QtUserPrompts::saveFileName(QWidget* parent, const QString& title,
                                                   const QString& filter, const QString& proposedPath) {
    QString selected = filter.section(QStringLiteral(";;"), 0, 0);
    // START asks about an existing file itself, so the dialog does not.
    const QString chosen = QFileDialog::getSaveFileName(parent, title, proposedPath, filter, &selected,
                                                        QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
}

}  // namespace marlin
