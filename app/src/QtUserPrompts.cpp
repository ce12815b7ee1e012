#include "QtUserPrompts.h"

#include <QFileDialog>
#include <QRegularExpression>

namespace marlin {
namespace {

// "sft" for "Reelplay Files (*.sft)"; empty for a filter without one plain extension ("*").
QString filterExtension(const QString& nameFilter) {
    static const QRegularExpression pattern(QStringLiteral(R"(\(\*\.([^\s*?.)]+)[\s)])"));
    const QRegularExpressionMatch match = pattern.match(nameFilter);
    return match.hasMatch() ? match.captured(1) : QString();
}

}  // namespace

QMessageBox::StandardButton QtUserPrompts::message(QWidget* parent, QMessageBox::Icon icon,
                                                   const QString& title, const QString& text,
                                                   QMessageBox::StandardButtons buttons) {
    // Messages keep the CR LF line ends they are written with; the box wants plain LF.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(icon, title, shown, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void QtUserPrompts::prepareSaveDialog(QFileDialog& dialog, const QString& filter,
                                      const QString& proposedPath) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // START asks about an existing file itself, so the dialog does not.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(filter.split(QStringLiteral(";;")));
    dialog.selectNameFilter(filter.section(QStringLiteral(";;"), 0, 0));
    // Choosing a filter swaps whatever follows the name's last dot for the filter's extension,
    // which cut a dotted address short ("127.0.0.201_trace2@..." became "127.0.0.sft"). The
    // name goes in after the filter, so the box shows it whole.
    dialog.selectFile(proposedPath);
}

QString QtUserPrompts::acceptedFileName(const QFileDialog& dialog) {
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return QString();
    QString chosen = files.first();
    // A name typed without the ending of the active filter gets it, whatever dots it holds.
    const QString extension = filterExtension(dialog.selectedNameFilter());
    const QString ending = QLatin1Char('.') + extension;
    if (!extension.isEmpty() && !chosen.endsWith(ending, Qt::CaseInsensitive)) chosen += ending;
    return chosen;
}

std::optional<QString> QtUserPrompts::saveFileName(QWidget* parent, const QString& title,
                                                   const QString& filter, const QString& proposedPath) {
    QFileDialog dialog(parent, title);
    prepareSaveDialog(dialog, filter, proposedPath);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QString chosen = acceptedFileName(dialog);
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
}

}  // namespace marlin
