#include <marlin/about/LocalInventorySources.h>

#include <marlin/about/AboutRegistry.h>
#include <marlin/about/SystemInventory.h>
#include <marlin/platform/VersionInfo.h>

#include <QDir>
#include <QFileInfo>

#ifndef _WIN32
#include <grp.h>
#include <unistd.h>
#endif

#include <vector>

namespace marlin::about {

namespace {

const QString kInternationalKey = QStringLiteral("Control Panel\\International");
const QString kWindowsNtKey = QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");

// Libraries that this platform names after their own conventions; the other
// components are only ever installed under their Windows names.
QStringList nativeNamesOf(const QString& windowsName) {
    const QString name = windowsName.toLower();
    if (name == QLatin1String("visa32.dll"))
        return {QStringLiteral("libvisa.so"), QStringLiteral("libvisa.so.*")};
    if (name == QLatin1String("gpib-32.dll"))
        return {QStringLiteral("libgpib.so"), QStringLiteral("libgpib.so.*")};
    return {};
}

QString multiarchTriplet() {
#if defined(__x86_64__)
    return QStringLiteral("x86_64-linux-gnu");
#elif defined(__aarch64__)
    return QStringLiteral("aarch64-linux-gnu");
#elif defined(__i386__)
    return QStringLiteral("i386-linux-gnu");
#elif defined(__arm__)
    return QStringLiteral("arm-linux-gnueabihf");
#else
    return {};
#endif
}

#ifndef _WIN32
QStringList currentGroupNames() {
    QStringList names;
    const int count = getgroups(0, nullptr);
    if (count <= 0) return names;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (const group* entry = getgrgid(groups[static_cast<std::size_t>(i)]))
            names.append(QString::fromLocal8Bit(entry->gr_name));
    }
    if (const group* primary = getgrgid(getegid())) names.append(QString::fromLocal8Bit(primary->gr_name));
    return names;
}
#endif

QString defaultOperatingSystemText() {
    return QString::fromStdString(platform::VersionInfo::GetWindowsVersionText());
}

InventoryFileFacts versionRecordFacts(const QString& path) {
    const platform::VersionInfo::FileVersionRecord record = platform::VersionInfo::GetFileVersionRecord(path.toStdString());
    InventoryFileFacts facts;
    facts.companyName = QString::fromStdString(record.CompanyName);
    facts.fileVersion = QString::fromStdString(record.FileVersion);
    facts.productVersion = QString::fromStdString(record.ProductVersion);
    facts.originalFileName = QString::fromStdString(record.OriginalFileName);
    facts.versionAndType = QString::fromStdString(record.VersionAndType);
    return facts;
}

}  // namespace

LocalInventorySources::LocalInventorySources() : LocalInventorySources(systemLocations(), {}, {}) {}

LocalInventorySources::LocalInventorySources(LocalInventoryLocations locations, RegistryReader registry,
                                             FactsReader facts)
    : locations_(std::move(locations)), registry_(std::move(registry)), facts_(std::move(facts)) {
    if (!registry_) registry_ = AboutRegistry::read;
    if (!facts_) facts_ = versionRecordFacts;
    if (!osText_) osText_ = defaultOperatingSystemText;
}

LocalInventoryLocations LocalInventorySources::systemLocations() {
    LocalInventoryLocations locations;
    const QString triplet = multiarchTriplet();
    QStringList candidates;
    const QString systemDir = QString::fromStdString(platform::VersionInfo::GetSystemDir());
    if (!systemDir.isEmpty()) candidates << systemDir;
    if (!triplet.isEmpty()) candidates << QStringLiteral("/usr/lib/") + triplet;
    candidates << QStringLiteral("/usr/lib64") << QStringLiteral("/usr/lib")
               << QStringLiteral("/usr/local/lib");
    for (const QString& folder : candidates) {
        const QFileInfo info(folder);
        if (info.isDir() && !info.isSymLink() && !locations.libraryFolders.contains(folder))
            locations.libraryFolders << folder;
    }
    if (locations.libraryFolders.isEmpty()) locations.libraryFolders << QStringLiteral("/usr/lib");
    locations.windowsFolder = QString::fromStdString(platform::VersionInfo::GetWindowsDir());
    locations.installMarker = QStringLiteral("/");
    return locations;
}

bool LocalInventorySources::isAdministrator(unsigned effectiveUid, const QStringList& groupNames) {
    if (effectiveUid == 0) return true;
    for (const QString& name : {QStringLiteral("sudo"), QStringLiteral("wheel"), QStringLiteral("admin")}) {
        if (groupNames.contains(name)) return true;
    }
    return false;
}

InventoryLanguage LocalInventorySources::languageOf(const QLocale& locale) {
    InventoryLanguage language;
    if (locale.language() == QLocale::C) return language;
    language.country = QLocale::territoryToString(locale.territory());
    language.language = QLocale::languageToCode(locale.language(), QLocale::ISO639Part2T).toUpper();
    language.localeId = locale.name();
    return language;
}

QString LocalInventorySources::readRegistryValue(InventoryRoot root, const QString& key,
                                                 const QString& name) {
    return registry_(root, key, name);
}

InventoryFileFacts LocalInventorySources::fileFacts(const QString& path) {
    return facts_(path);
}

bool LocalInventorySources::fileExists(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.isFile();
}

QStringList LocalInventorySources::findFiles(const QString& folder, const QString& pattern) {
    if (folder.isEmpty()) return {};
    QDir dir(folder);
    dir.setNameFilters({pattern});
    dir.setFilter(QDir::Files | QDir::Hidden);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    return dir.entryList();
}

QString LocalInventorySources::operatingSystemText() {
    return osText_();
}

QString LocalInventorySources::windowsFolder() {
    return locations_.windowsFolder;
}

QString LocalInventorySources::systemFolder() {
    return locations_.libraryFolders.value(0);
}

QString LocalInventorySources::systemFile(const QString& windowsName) {
    const QStringList native = nativeNamesOf(windowsName);
    for (const QString& folder : locations_.libraryFolders) {
        for (const QString& pattern : native) {
            const QStringList found = findFiles(folder, pattern);
            if (!found.isEmpty()) return SystemInventory::joinPath(folder, found.first());
        }
    }
    for (const QString& folder : locations_.libraryFolders) {
        const QString path = SystemInventory::joinPath(folder, windowsName);
        if (fileExists(path)) return path;
    }
    return SystemInventory::joinPath(systemFolder(), windowsName);
}

std::optional<std::int64_t> LocalInventorySources::installTime() {
    const QString stored =
        readRegistryValue(InventoryRoot::LocalMachine, kWindowsNtKey, QStringLiteral("InstallDate"));
    if (!stored.isEmpty()) {
        bool ok = false;
        qlonglong seconds = stored.trimmed().toLongLong(&ok);
        // A stored value that is not a number says nothing about the date.
        if (!ok) return std::nullopt;
        // The value is an unsigned 32-bit count that reads back as a signed one.
        if (seconds < 0 && seconds >= INT32_MIN) seconds += 0x100000000LL;
        return seconds;
    }
    if (locations_.installMarker.isEmpty()) return std::nullopt;
    const QFileInfo marker(locations_.installMarker);
    QDateTime born = marker.birthTime();
    if (!born.isValid()) born = marker.lastModified();
    if (!born.isValid()) return std::nullopt;
    return born.toSecsSinceEpoch();
}

bool LocalInventorySources::isAdministrator() {
    if (adminTest_) return adminTest_();
#ifdef _WIN32
    // The Windows build answers through the platform's own administrator test
    // once it has one; until then it claims no rights.
    return false;
#else
    return isAdministrator(geteuid(), currentGroupNames());
#endif
}

InventoryLanguage LocalInventorySources::language() {
    InventoryLanguage language = languageOf(locale_);
    const auto stored = [&](const QString& name, QString& target) {
        const QString value = readRegistryValue(InventoryRoot::CurrentUser, kInternationalKey, name);
        if (!value.isEmpty()) target = value;
    };
    stored(QStringLiteral("sCountry"), language.country);
    stored(QStringLiteral("sLanguage"), language.language);
    stored(QStringLiteral("Locale"), language.localeId);
    return language;
}

}  // namespace marlin::about
