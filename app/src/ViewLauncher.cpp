#include "ViewLauncher.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>

namespace marlin {

ViewLauncher::ViewLauncher(QWidget* window, QLineEdit* fileName, QLabel* status, Starter start)
    : QObject(window), window_(window), fileName_(fileName), status_(status), start_(std::move(start)) {
    if (!start_) start_ = [](const QString& program, const QStringList& arguments) {
        return QProcess::startDetached(program, arguments);
    };
    action_ = new QAction(QStringLiteral("Show the recording in marlin-view"), this);
    action_->setShortcut(QKeySequence(QString::fromLatin1(kShortcut)));
    action_->setShortcutContext(Qt::WindowShortcut);
    window->addAction(action_);
    connect(action_, &QAction::triggered, this, &ViewLauncher::openView);

    status_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(status_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showMenu(status_, at, false); });
    fileName_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(fileName_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showMenu(fileName_, at, true); });
}

QString ViewLauncher::programPath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("marlin-view"));
}

bool ViewLauncher::openView() {
    const QString name = fileName_->text().trimmed();
    if (name.isEmpty()) {
        status_->setText(QStringLiteral("no file name to show"));
        return false;
    }
    // The recorder writes the name relative to its working folder; the view gets the same file.
    // Beside the recorder's window, at its top.
    const QRect frame = window_->frameGeometry();
    const QString at = QStringLiteral("%1,%2").arg(frame.right() + 12).arg(frame.top());
    if (!start_(programPath(), {QStringLiteral("--position"), at, QFileInfo(name).absoluteFilePath()})) {
        status_->setText(QStringLiteral("marlin-view did not start"));
        return false;
    }
    return true;
}

void ViewLauncher::showMenu(QWidget* widget, const QPoint& at, bool withEditEntries) {
    QMenu* menu = withEditEntries ? fileName_->createStandardContextMenu() : new QMenu(widget);
    if (withEditEntries) menu->addSeparator();
    menu->addAction(action_);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(widget->mapToGlobal(at));
}

}  // namespace marlin
