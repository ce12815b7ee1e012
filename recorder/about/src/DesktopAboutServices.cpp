#include <marlin/about/DesktopAboutServices.h>

#include <marlin/about/AboutFormVersion.h>
#include <marlin/about/AboutRegistry.h>
#include <marlin/about/LocalInventorySources.h>
#include <marlin/platform/VersionInfo.h>

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>

namespace marlin::about {

DesktopAboutServices::DesktopAboutServices(std::optional<QStringList> arguments,
                                           std::function<void()> endProgram)
    : arguments_(std::move(arguments)), endProgram_(std::move(endProgram)) {}

void DesktopAboutServices::showMessage(QWidget* parent, const QString& title, const QString& text,
                                       Icon icon) {
    QMessageBox box(icon == Icon::Information ? QMessageBox::Information : QMessageBox::NoIcon, title, text,
                    QMessageBox::Ok, parent);
    box.exec();
}

bool DesktopAboutServices::askYesNo(QWidget* parent, const QString& title, const QString& text) {
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

void DesktopAboutServices::setClipboardText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

bool DesktopAboutServices::openDocument(const QString& target) {
    // Above 32 means the request went out.
    return platform::VersionInfo::OpenDocument(target.toStdString()) > 32;
}

bool DesktopAboutServices::startProgram(const QString& path, QString& error) {
    QProcess process;
    process.setProgram(path);
    if (process.startDetached()) return true;
    error = process.errorString();
    return false;
}

void DesktopAboutServices::quitProgram() {
    if (endProgram_) {
        endProgram_();
        return;
    }
    QCoreApplication::quit();
}

QString DesktopAboutServices::readRegistryValue(InventoryRoot root, const QString& key, const QString& name) {
    return AboutRegistry::read(root, key, name);
}

bool DesktopAboutServices::writeRegistryValue(InventoryRoot root, const QString& key, const QString& name,
                                              const QString& value) {
    return AboutRegistry::write(root, key, name, value);
}

bool DesktopAboutServices::fileExists(const QString& path) {
    return QFileInfo(path).isFile();
}

QDateTime DesktopAboutServices::now() {
    return QDateTime::currentDateTime();
}

QStringList DesktopAboutServices::arguments() {
    if (arguments_) return *arguments_;
    return QCoreApplication::arguments().mid(1);
}

QString DesktopAboutServices::programFile() {
    return QZStandard::programFilePath();
}

std::unique_ptr<InventorySources> DesktopAboutServices::inventorySources() {
    return std::make_unique<LocalInventorySources>();
}

}  // namespace marlin::about
