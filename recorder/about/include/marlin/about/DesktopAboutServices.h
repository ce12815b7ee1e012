#pragma once

#include <marlin/about/AboutServices.h>

#include <QStringList>

#include <functional>
#include <optional>

namespace marlin::about {

// The About window's services on the desktop: real message boxes, the system
// clipboard, the desktop's handlers for documents and links, the registry store.
class DesktopAboutServices : public AboutServices {
public:
    // arguments: the program's command line after its name; by default the
    // application's own.
    // endProgram: how OK ends the program; by default the event loop is left.
    explicit DesktopAboutServices(std::optional<QStringList> arguments = std::nullopt,
                                  std::function<void()> endProgram = {});

    void showMessage(QWidget* parent, const QString& title, const QString& text, Icon icon) override;
    bool askYesNo(QWidget* parent, const QString& title, const QString& text) override;
    void setClipboardText(const QString& text) override;
    bool openDocument(const QString& target) override;
    bool startProgram(const QString& path, QString& error) override;
    void quitProgram() override;
    QString readRegistryValue(InventoryRoot root, const QString& key, const QString& name) override;
    bool writeRegistryValue(InventoryRoot root, const QString& key, const QString& name,
                            const QString& value) override;
    bool fileExists(const QString& path) override;
    QDateTime now() override;
    QStringList arguments() override;
    QString programFile() override;
    std::unique_ptr<InventorySources> inventorySources() override;

private:
    std::optional<QStringList> arguments_;
    std::function<void()> endProgram_;
};

}  // namespace marlin::about
