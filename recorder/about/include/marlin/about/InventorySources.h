#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace marlin::about {

// Roots of the registry store that the inventory reads.
enum class InventoryRoot { LocalMachine, CurrentUser };

// The facts of a file's version record that the inventory shows.
struct InventoryFileFacts {
    QString companyName;
    QString fileVersion;
    QString productVersion;
    QString originalFileName;
    // FileVersion + " (type: ...)", "File <path> not found!", or empty for a
    // file without version information.
    QString versionAndType;
};

struct InventoryLanguage {
    QString country;
    QString language;
    QString localeId;
};

// Everything the inventory learns about the computer comes through here, so a
// test can point it at a prepared folder tree and registry store.
class InventorySources {
public:
    virtual ~InventorySources() = default;

    virtual QString readRegistryValue(InventoryRoot root, const QString& key, const QString& name) = 0;
    virtual InventoryFileFacts fileFacts(const QString& path) = 0;
    // True when a normal file exists at exactly this path.
    virtual bool fileExists(const QString& path) = 0;
    // Names of the files in folder matching a wildcard pattern (letter case
    // ignored), in a stable order.
    virtual QStringList findFiles(const QString& folder, const QString& pattern) = 0;

    virtual QString operatingSystemText() = 0;
    virtual QString windowsFolder() = 0;
    // The folder that holds the shared libraries; not-found texts name it.
    virtual QString systemFolder() = 0;
    // Where a shared library known by its Windows file name lives here: the
    // platform's own library of the same component when there is one, else
    // the Windows name in the system folder (which then does not exist).
    virtual QString systemFile(const QString& windowsName) = 0;

    // Seconds after 01.01.1970 00:00:00 at which the system was installed.
    virtual std::optional<std::int64_t> installTime() = 0;
    virtual bool isAdministrator() = 0;
    virtual InventoryLanguage language() = 0;
};

}  // namespace marlin::about
