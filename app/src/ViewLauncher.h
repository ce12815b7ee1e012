#pragma once
// Opens marlin-view beside the recorder on the file in `FileName`: a keyboard shortcut of the
// window, and an entry in the context menus of the status text and the file name box. The
// window's own controls and their layout stay as they are; the picture buttons get no menu.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QWidget;

namespace marlin {

class ViewLauncher : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kShortcut = "Ctrl+Shift+V";
    // Starts a program detached from the recorder; true when it started.
    using Starter = std::function<bool(const QString& program, const QStringList& arguments)>;

    ViewLauncher(QWidget* window, QLineEdit* fileName, QLabel* status, Starter start = {});

    QAction* action() const { return action_; }
    // marlin-view beside the running program.
    static QString programPath();
    // Starts the view on the file named now; false (and a status text) when it could not.
    bool openView();

private:
    void showMenu(QWidget* widget, const QPoint& at, bool withEditEntries);

    QWidget* window_;
    QLineEdit* fileName_;
    QLabel* status_;
    Starter start_;
    QAction* action_;
};

}  // namespace marlin
