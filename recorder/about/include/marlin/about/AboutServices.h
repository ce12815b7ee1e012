#pragma once

#include <marlin/about/InventorySources.h>

#include <QDateTime>
#include <QString>

#include <memory>

class QWidget;

namespace marlin::about {

// What the About window asks of the desktop and the system. The window only
// talks to these, so tests answer message boxes and read the clipboard
// without hunting for windows.
class AboutServices {
public:
    enum class Icon { None, Information, Question };

    virtual ~AboutServices() = default;

    virtual void showMessage(QWidget* parent, const QString& title, const QString& text, Icon icon) = 0;
    // Asks with Yes and No; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& title, const QString& text) = 0;
    virtual void setClipboardText(const QString& text) = 0;
    // Opens a document or address with its associated program; failures are
    // the caller's to ignore.
    virtual bool openDocument(const QString& target) = 0;
    // Starts a program detached from this one; on failure says why.
    virtual bool startProgram(const QString& path, QString& error) = 0;
    // Ends the program (the window was the whole program).
    virtual void quitProgram() = 0;

    virtual QString readRegistryValue(InventoryRoot root, const QString& key, const QString& name) = 0;
    // Numbers are stored as 32-bit values, other texts as strings.
    virtual bool writeRegistryValue(InventoryRoot root, const QString& key, const QString& name,
                                    const QString& value) = 0;

    virtual bool fileExists(const QString& path) = 0;
    virtual QDateTime now() = 0;
    // The program's arguments after its name.
    virtual QStringList arguments() = 0;
    // The running program's file, whose date the window shows.
    virtual QString programFile() = 0;

    // The inventory's view of this computer, made afresh for each loading.
    virtual std::unique_ptr<InventorySources> inventorySources() = 0;
};

}  // namespace marlin::about
