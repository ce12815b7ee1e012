#pragma once

#include <marlin/about/InventorySources.h>

#include <QLocale>

#include <functional>

namespace marlin::about {

// Where this computer keeps what the inventory looks at.
struct LocalInventoryLocations {
    // Folders that hold shared libraries; the first one is the system folder
    // that not-found texts name.
    QStringList libraryFolders;
    // The folder with INF\ and SYSTEM32\Drivers\; empty where there is none.
    QString windowsFolder;
    // A path whose creation time stands for the installation of the system.
    QString installMarker;
};

// The inventory's sources on this computer: the registry store, the shared
// library folders, the user's locale, the effective user's rights.
class LocalInventorySources : public InventorySources {
public:
    using RegistryReader = std::function<QString(InventoryRoot, const QString& key, const QString& name)>;
    using FactsReader = std::function<InventoryFileFacts(const QString& path)>;
    using OsTextReader = std::function<QString()>;

    // Reads this computer. A reader left empty reads the registry store, or
    // the version records of the files.
    LocalInventorySources();
    LocalInventorySources(LocalInventoryLocations locations, RegistryReader registry, FactsReader facts);

    static LocalInventoryLocations systemLocations();
    // Root, or a member of one of the groups that administer the system.
    static bool isAdministrator(unsigned effectiveUid, const QStringList& groupNames);
    static InventoryLanguage languageOf(const QLocale& locale);

    void setOperatingSystemText(OsTextReader reader) { osText_ = std::move(reader); }
    void setAdministratorTest(std::function<bool()> test) { adminTest_ = std::move(test); }
    void setLocale(const QLocale& locale) { locale_ = locale; }

    QString readRegistryValue(InventoryRoot root, const QString& key, const QString& name) override;
    InventoryFileFacts fileFacts(const QString& path) override;
    bool fileExists(const QString& path) override;
    QStringList findFiles(const QString& folder, const QString& pattern) override;
    QString operatingSystemText() override;
    QString windowsFolder() override;
    QString systemFolder() override;
    QString systemFile(const QString& windowsName) override;
    std::optional<std::int64_t> installTime() override;
    bool isAdministrator() override;
    InventoryLanguage language() override;

private:
    LocalInventoryLocations locations_;
    RegistryReader registry_;
    FactsReader facts_;
    OsTextReader osText_;
    std::function<bool()> adminTest_;
    QLocale locale_ = QLocale::system();
};

}  // namespace marlin::about
