#include "AboutWindow.h"

#include "AboutForm.h"
#include "CviCommandLine.h"
#include "DesktopAboutServices.h"

#include <QPointer>

#include <optional>

namespace {

QPointer<AboutForm>& aboutWindow() {
    static QPointer<AboutForm> window;
    return window;
}

std::optional<QStringList>& aboutArguments() {
    static std::optional<QStringList> arguments;
    return arguments;
}

}  // namespace

AboutForm* showAboutWindow(QWidget* parent) {
    QPointer<AboutForm>& window = aboutWindow();
    if (window && window->parentWidget() != parent) {
        // A window that belonged to another owner is unloaded first.
        window->deleteLater();
        window.clear();
    }
    if (!window) {
        window = new AboutForm(std::make_unique<DesktopAboutServices>(aboutArguments()), parent);
        window->load();
        return window;
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void setAboutCommandLine(const QStringList& arguments) {
    aboutArguments() = arguments;
}

bool isAboutCommandLine(const QStringList& arguments) {
    return CviCommandLine::fromArguments(arguments).isActive();
}
