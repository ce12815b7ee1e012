#pragma once
// Where the main window gets its About window from. The window creates it once, keeps it and
// shows it without making it modal.

class QWidget;

namespace marlin {

class AboutWindowFactory {
public:
    // A new About window, owned by the caller.
    static QWidget* create(QWidget* mainWindow);
};

}  // namespace marlin
