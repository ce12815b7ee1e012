#include <marlin/about/LocalInventorySources.h>

#include "AboutFakes.h"
#include <marlin/platform/QZStandard.h>

#include <gtest/gtest.h>

namespace marlin::about {

namespace {

TEST(LocalInventorySources, PlatformLibrariesStandInForTheirWindowsNames) {
    PreparedComputer computer;
    const QString visa = computer.addFile(QStringLiteral("lib/libvisa.so.7.2"));
    const QString gpib = computer.addFile(QStringLiteral("lib/libgpib.so"));
    computer.addFile(QStringLiteral("lib/libgpib.so.0"));
    auto sources = computer.sources();
    EXPECT_EQ(sources->systemFile(QStringLiteral("visa32.dll")), visa);
    EXPECT_EQ(sources->systemFile(QStringLiteral("GPIB-32.dll")), gpib);
    // Without a library of its own a component keeps its Windows name in the system folder.
    EXPECT_EQ(sources->systemFile(QStringLiteral("msi.dll")), computer.path(QStringLiteral("lib/msi.dll")));
    EXPECT_FALSE(sources->fileExists(sources->systemFile(QStringLiteral("msi.dll"))));
}

TEST(LocalInventorySources, LaterLibraryFoldersAreSearchedToo) {
    PreparedComputer computer;
    const QString second = computer.addFile(QStringLiteral("lib2/cvirte.dll"));
    LocalInventoryLocations locations;
    locations.libraryFolders << computer.path(QStringLiteral("lib")) << computer.path(QStringLiteral("lib2"));
    LocalInventorySources sources(locations, {}, {});
    // Without readers of its own the inventory reads the registry store and the files' version records.
    computer.setRegistry(InventoryRoot::CurrentUser, QStringLiteral("Control Panel\\International"),
                         QStringLiteral("sCountry"), QStringLiteral("Atlantis"));
    EXPECT_EQ(sources.language().country, QStringLiteral("Atlantis"));
    EXPECT_EQ(sources.systemFolder(), computer.path(QStringLiteral("lib")));
    EXPECT_EQ(sources.systemFile(QStringLiteral("cvirte.dll")), second);
    EXPECT_EQ(sources.fileFacts(computer.path(QStringLiteral("lib/none.dll"))).versionAndType,
              QStringLiteral("File ") + computer.path(QStringLiteral("lib/none.dll")) +
                  QStringLiteral(" not found!"));
    EXPECT_EQ(sources.readRegistryValue(InventoryRoot::LocalMachine, QStringLiteral("SOFTWARE"),
                                        QStringLiteral("x")),
              QString());
    EXPECT_EQ(sources.fileFacts(second).versionAndType, QString()) << "a file without version data";
}

TEST(LocalInventorySources, FileSearchIgnoresLetterCaseAndFolders) {
    PreparedComputer computer;
    computer.addFile(QStringLiteral("d/QZA.DLL"));
    computer.addFile(QStringLiteral("d/qzb.dll"));
    computer.addFile(QStringLiteral("d/aqz.dll"));
    QDir(computer.path(QStringLiteral("d"))).mkpath(QStringLiteral("qzfolder.dll"));
    auto sources = computer.sources();
    EXPECT_EQ(sources->findFiles(computer.path(QStringLiteral("d")), QStringLiteral("qz*.dll")),
              QStringList({QStringLiteral("QZA.DLL"), QStringLiteral("qzb.dll")}));
    EXPECT_FALSE(sources->fileExists(computer.path(QStringLiteral("d/qzfolder.dll"))));
    EXPECT_TRUE(sources->fileExists(computer.path(QStringLiteral("d/QZA.DLL"))));
    EXPECT_FALSE(sources->fileExists(QString()));
    EXPECT_TRUE(sources->findFiles(QString(), QStringLiteral("*")).isEmpty());
}

TEST(AboutRegistry, NumbersAreStoredAsNumbersAndTextsTrimmed) {
    PreparedComputer computer;
    const QString key = QStringLiteral("SOFTWARE\\National Instruments\\NI Spy\\Options");
    ASSERT_TRUE(AboutRegistry::write(InventoryRoot::CurrentUser, key, QStringLiteral("History Depth"),
                                     QStringLiteral("99999")));
    ASSERT_TRUE(AboutRegistry::write(InventoryRoot::CurrentUser, key, QStringLiteral("Log File Name"),
                                     QStringLiteral("  /data/NISpy_1.spy ")));
    const auto depth =
        QZStandard::ReadRegistryValue(QZStandard::kHkeyCurrentUser, key.toStdString(), "History Depth");
    ASSERT_TRUE(std::holds_alternative<std::int32_t>(depth));
    EXPECT_EQ(std::get<std::int32_t>(depth), 99999);
    EXPECT_EQ(AboutRegistry::read(InventoryRoot::CurrentUser, key, QStringLiteral("Log File Name")),
              QStringLiteral("/data/NISpy_1.spy"));
    // The user's settings are not the machine's.
    EXPECT_EQ(AboutRegistry::read(InventoryRoot::LocalMachine, key, QStringLiteral("History Depth")),
              QString());
    EXPECT_EQ(AboutRegistry::read(InventoryRoot::CurrentUser, key, QStringLiteral("missing")), QString());
}

TEST(LocalInventorySources, AdministratorIsRootOrAnAdministeringGroup) {
    EXPECT_TRUE(LocalInventorySources::isAdministrator(0, {}));
    EXPECT_TRUE(
        LocalInventorySources::isAdministrator(1000, {QStringLiteral("users"), QStringLiteral("sudo")}));
    EXPECT_TRUE(LocalInventorySources::isAdministrator(1000, {QStringLiteral("wheel")}));
    EXPECT_FALSE(
        LocalInventorySources::isAdministrator(1000, {QStringLiteral("users"), QStringLiteral("sudoers")}));
}

TEST(LocalInventorySources, LanguageComesFromTheLocale) {
    const InventoryLanguage german =
        LocalInventorySources::languageOf(QLocale(QLocale::German, QLocale::Austria));
    EXPECT_EQ(german.country, QStringLiteral("Austria"));
    EXPECT_EQ(german.language, QStringLiteral("DEU"));
    EXPECT_EQ(german.localeId, QStringLiteral("de_AT"));
    const InventoryLanguage plain = LocalInventorySources::languageOf(QLocale::c());
    EXPECT_EQ(plain.country, QString());
    EXPECT_EQ(plain.localeId, QString());
}

TEST(LocalInventorySources, InstallTimeFromTheStoreOrTheSystem) {
    PreparedComputer computer;
    const QString key = QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    computer.setRegistry(InventoryRoot::LocalMachine, key, QStringLiteral("InstallDate"),
                         QStringLiteral("12345"));
    EXPECT_EQ(computer.sources()->installTime(), std::optional<std::int64_t>(12345));

    // The count is unsigned: past 2038 it reads back negative.
    computer.setRegistry(InventoryRoot::LocalMachine, key, QStringLiteral("InstallDate"),
                         QStringLiteral("-1"));
    EXPECT_EQ(computer.sources()->installTime(), std::optional<std::int64_t>(4294967295LL));
    computer.setRegistry(InventoryRoot::LocalMachine, key, QStringLiteral("InstallDate"),
                         QStringLiteral("soon"));
    EXPECT_EQ(computer.sources()->installTime(), std::nullopt);

    LocalInventoryLocations locations;
    locations.installMarker = computer.root();
    const auto emptyStore = [](InventoryRoot, const QString&, const QString&) { return QString(); };
    const std::optional<std::int64_t> marked = LocalInventorySources(locations, emptyStore, {}).installTime();
    ASSERT_TRUE(marked.has_value());
    EXPECT_LE(std::abs(*marked - QDateTime::currentSecsSinceEpoch()), 3600);
}

}  // namespace

}  // namespace marlin::about
