#include <marlin/about/AboutWindow.h>

#include <marlin/about/AboutForm.h>
#include <marlin/about/CviCommandLine.h>
#include <marlin/about/DesktopAboutServices.h>

#include <QPointer>

#include <optional>

namespace marlin::about {

namespace {

QPointer<AboutForm>& aboutWindow() {
    static QPointer<AboutForm> window;
    return window;
}

std::optional<QStringList>& aboutArguments() {
    static std::optional<QStringList> arguments;
    return arguments;
}

std::function<void()>& aboutEndProgram() {
    static std::function<void()> endProgram;
    return endProgram;
}

}  // namespace

AboutForm* createAboutWindow(QWidget* parent) {
    return new AboutForm(std::make_unique<DesktopAboutServices>(aboutArguments(), aboutEndProgram()), parent);
}

AboutForm* showAboutWindow(QWidget* parent) {
    QPointer<AboutForm>& window = aboutWindow();
    if (window && window->parentWidget() != parent) {
        // A window that belonged to another owner is unloaded first.
        window->deleteLater();
        window.clear();
    }
    if (!window) {
        window = createAboutWindow(parent);
        window->load();
        return window;
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void setAboutEndProgram(std::function<void()> endProgram) {
    aboutEndProgram() = std::move(endProgram);
}

void setAboutCommandLine(const QStringList& arguments) {
    aboutArguments() = arguments;
}

bool isAboutCommandLine(const QStringList& arguments) {
    return CviCommandLine::fromArguments(arguments).isActive();
}

}  // namespace marlin::about
