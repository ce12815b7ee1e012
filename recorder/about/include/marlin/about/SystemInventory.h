#pragma once

#include <marlin/about/InfoPane.h>
#include <marlin/about/InventorySources.h>
#include <marlin/about/SupportReport.h>

#include <QString>

namespace marlin::about {

// The folders the inventory searches, looked up once when the window loads.
struct InventoryFolders {
    QString frameworkBin;  // instrument-driver framework, empty when not configured
    QString iviBin;        // IVI drivers, empty when not configured
    QString windows;
    QString system;
    QString webBrowser;
};

// Fills the About window's system and driver panes, and the support report
// with them, from what the sources report about this computer.
class SystemInventory {
public:
    static inline const QString kFontName = QStringLiteral("Lucida Console");
    static constexpr int kFontSize = 20;
    static constexpr int kDriverLabelWidth = 20;

    SystemInventory(InventorySources& sources, SupportReport& report);

    void lookUpFolders();
    const InventoryFolders& folders() const { return folders_; }

    void fillSystemPane(InfoPane& pane);
    void fillDriverPane(InfoPane& pane);

    // Joins a folder and a name with exactly one separator between them.
    static QString joinPath(const QString& folder, const QString& name);
    // dd.mm.yyyy hh:nn:ss of a count of seconds after 01.01.1970 00:00:00.
    static QString formatInstallTime(std::int64_t seconds);

private:
    void addOperatingSystem(InfoPane& pane);
    void addRemoteControl(InfoPane& pane);
    void addUsbControls(InfoPane& pane);
    void addLibraryPair(InfoPane& pane, const QString& label, const QString& value, const QString& company);
    QString versionAndType(const QString& windowsName);
    // A group of the driver pane; returns without a line when nothing matches.
    void addDllDrivers(InfoPane& pane, const QString& heading, const QString& folder);
    void addUsbDrivers(InfoPane& pane);

    void line(InfoPane& pane, const QString& label, const QString& value);
    void heading(InfoPane& pane, const QString& label);
    void blank(InfoPane& pane);

    InventorySources& sources_;
    SupportReport& report_;
    InventoryFolders folders_;
};

}  // namespace marlin::about
