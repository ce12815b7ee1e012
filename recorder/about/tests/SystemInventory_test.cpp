#include <marlin/about/SystemInventory.h>

#include "AboutFakes.h"

#include <gtest/gtest.h>

namespace marlin::about {

namespace {

const QString kFrameworkKey = QStringLiteral("SOFTWARE\\VXIPNP_Alliance\\VXIPNP\\CurrentVersion");
const QString kWindowsKey = QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
const QString kBlank22 = QString(22, QLatin1Char(' '));

QStringList reportLines(const SupportReport& report) {
    QStringList lines = report.text().split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines.last(), QString()) << "every line ends with CR LF";
    lines.removeLast();
    return lines;
}

QString row(const QString& label, const QString& value) {
    return SupportReport::fill(label, 22) + value;
}

InventoryFileFacts facts(const QString& version, const QString& company, const QString& original = {},
                         const QString& product = {}) {
    InventoryFileFacts made;
    made.fileVersion = version;
    made.companyName = company;
    made.originalFileName = original;
    made.productVersion = product;
    return made;
}

class SystemInventoryTest : public ::testing::Test {
protected:
    void fill() {
        sources_ = computer_.sources();
        SystemInventory inventory(*sources_, report_);
        inventory.lookUpFolders();
        folders_ = inventory.folders();
        inventory.fillSystemPane(system_);
        inventory.fillDriverPane(drivers_);
    }

    QString lib(const QString& name) const { return computer_.path(QStringLiteral("lib/") + name); }
    QString notFound(const QString& name) const {
        return QStringLiteral("File ") + lib(name) + QStringLiteral(" not found!");
    }
    // The lines of the report that belong to the remote-control group.
    QStringList remoteControl() const {
        const QStringList lines = reportLines(report_);
        const qsizetype first = lines.indexOf(QStringLiteral("***REMOTE CONTROL***"));
        const qsizetype last = lines.indexOf(QStringLiteral("***QZ USB DRIVERS***"));
        EXPECT_GE(first, 0);
        EXPECT_GT(last, first);
        return lines.mid(first + 1, last - first - 1);
    }

    PreparedComputer computer_;
    std::unique_ptr<LocalInventorySources> sources_;
    SupportReport report_;
    RecordingPane system_;
    RecordingPane drivers_;
    InventoryFolders folders_;
};

TEST_F(SystemInventoryTest, BareComputerGivesEveryRowInOrder) {
    computer_.setRegistry(InventoryRoot::LocalMachine,
                          QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"),
                          QStringLiteral("InstallDate"), QStringLiteral("1291816376"));
    fill();

    const QStringList expected = {
        row(QStringLiteral("Operating system:"),
            QStringLiteral("Debian GNU/Linux 12, Service Pack 0, build 6")),
        row(QStringLiteral("Installed"), QStringLiteral("08.12.2010 13:52:56")),
        row(QStringLiteral("Admin rights"), QStringLiteral("NO")),
        kBlank22,
        QStringLiteral("***LANGUAGE SETTINGS***"),
        row(QStringLiteral("Country"), QStringLiteral("Germany")),
        row(QStringLiteral("Language"), QStringLiteral("DEU")),
        row(QStringLiteral("Local ID"), QStringLiteral("de_DE")),
        kBlank22,
        QStringLiteral("***DLL AND EXE VERSIONS***"),
        row(QStringLiteral("VB runtime"), notFound(QStringLiteral("msvbvm60.dll"))),
        row(QStringLiteral("CVI runtime"), notFound(QStringLiteral("cvirte.dll"))),
        row(QStringLiteral("MSI service"), notFound(QStringLiteral("msi.dll"))),
        row(QStringLiteral("Internet Explorer"), QStringLiteral("File  not found!")),
        kBlank22,
        QStringLiteral("***NI ACTIVEX VERSIONS***"),
        row(QStringLiteral("NI Analysis"), notFound(QStringLiteral("cwanalysis.ocx"))),
        row(QStringLiteral("NI UI"), notFound(QStringLiteral("cwui.ocx"))),
        row(QStringLiteral("NI 3D graph"), notFound(QStringLiteral("cw3dgrph.ocx"))),
        kBlank22,
        QStringLiteral("***REMOTE CONTROL***"),
        row(QStringLiteral("IEEE driver"), QStringLiteral("IEEE BUS IS NOT INSTALLED")),
        kBlank22,
        row(QStringLiteral("VISA"), QStringLiteral("VISA IS NOT INSTALLED")),
        kBlank22,
        row(QStringLiteral("QZIB"), QStringLiteral("QZIB NOT INSTALLED")),
        kBlank22,
        QStringLiteral("***QZ USB DRIVERS***"),
        row(QStringLiteral("KV Control"), QStringLiteral("Q&Z Keyvane USB NOT INSTALLED")),
        row(QStringLiteral("PWX Control2"), QStringLiteral("Q&Z PWX USB NOT INSTALLED")),
        kBlank22,
    };
    EXPECT_EQ(reportLines(report_), expected);

    // The pane starts with the bold title and the description split at the commas.
    EXPECT_EQ(system_.font, QStringLiteral("Lucida Console"));
    EXPECT_EQ(system_.size, 20);
    ASSERT_GE(system_.runs.size(), 4u);
    EXPECT_EQ(system_.runs[0].text, QStringLiteral("Operating system"));
    EXPECT_TRUE(system_.runs[0].format.bold);
    EXPECT_TRUE(system_.runs[0].format.newParagraph);
    const QString indent(20, QLatin1Char(' '));
    EXPECT_EQ(system_.lines().mid(1, 3),
              QStringList({indent + QStringLiteral("Debian GNU/Linux 12"),
                           indent + QStringLiteral("Service Pack 0"), indent + QStringLiteral("build 6")}));
    EXPECT_EQ(system_.lines().at(4), QStringLiteral("Installed           08.12.2010 13:52:56"));
    EXPECT_EQ(system_.caret, 0);
}

TEST_F(SystemInventoryTest, NoVisaGivesItsTextAndAnEmptyLineAndNoSecondaryVisa) {
    computer_.addFile(
        QStringLiteral("lib/GPIB-32.dll"),
        facts(QStringLiteral("2.1.0.0"), QStringLiteral("Bus Maker"), {}, QStringLiteral("2.1")));
    fill();
    EXPECT_EQ(remoteControl(),
              QStringList({row(QStringLiteral("IEEE driver"), QStringLiteral("2.1")),
                           row(QString(), QStringLiteral("(Bus Maker)")),
                           row(QStringLiteral("VISA"), QStringLiteral("VISA IS NOT INSTALLED")), kBlank22,
                           row(QStringLiteral("QZIB"), QStringLiteral("QZIB NOT INSTALLED")), kBlank22}));
}

TEST_F(SystemInventoryTest, SecondIeeeLibraryStandsInWhenTheFirstIsMissing) {
    computer_.addFile(
        QStringLiteral("lib/sicl32.dll"),
        facts(QStringLiteral("15.0.0.0"), QStringLiteral("Other Bus Maker"), {}, QStringLiteral("15.5.1.0")));
    fill();
    const QStringList lines = remoteControl();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.at(0), row(QStringLiteral("IEEE driver"), QStringLiteral("15.5.1.0")));
    EXPECT_EQ(lines.at(1), row(QString(), QStringLiteral("(Other Bus Maker)")));
}

TEST_F(SystemInventoryTest, InstalledLibrariesShowVersionsAndCompanies) {
    computer_.setRegistry(InventoryRoot::LocalMachine, kFrameworkKey, QStringLiteral("FrameworkPath"),
                          computer_.path(QStringLiteral("vxipnp")));
    computer_.addFile(QStringLiteral("lib/libvisa.so.5.1.0"),
                      facts(QStringLiteral("5.1.0.0"), QStringLiteral("Visa Maker")));
    computer_.addFile(QStringLiteral("lib/agvisa32.dll"),
                      facts(QStringLiteral("3.0.0.7"), QStringLiteral("Second Maker")));
    computer_.addFile(QStringLiteral("lib/GPIB-32.dll"),
                      facts({}, QStringLiteral("Bus Maker"), {}, QStringLiteral("2.1")));
    computer_.addFile(QStringLiteral("lib/sicl32.dll"),
                      facts({}, QStringLiteral("Other"), {}, QStringLiteral("9")));
    computer_.addFile(QStringLiteral("vxipnp/bin/QzViQzib.dll"),
                      facts(QStringLiteral("1.4.0.0"), QStringLiteral("Q&Z")));
    computer_.addFile(QStringLiteral("lib/kvcontrol.dll"), facts(QStringLiteral("1.0.0.1"), {}));
    computer_.addFile(QStringLiteral("lib/pwxcontrol.dll"), facts(QStringLiteral("1.0.0.2"), {}));
    fill();

    EXPECT_EQ(folders_.frameworkBin, computer_.path(QStringLiteral("vxipnp/bin/")));
    EXPECT_EQ(remoteControl(),
              QStringList({row(QStringLiteral("IEEE driver"), QStringLiteral("2.1")),
                           row(QString(), QStringLiteral("(Bus Maker)")),
                           row(QStringLiteral("VISA"), QStringLiteral("5.1.0.0 (type: DLL)")),
                           row(QString(), QStringLiteral("(Visa Maker)")),
                           row(QStringLiteral("Secondary VISA"), QStringLiteral("3.0.0.7 (type: DLL)")),
                           row(QString(), QStringLiteral("(Second Maker)")),
                           row(QStringLiteral("QZIB"), QStringLiteral("1.4.0.0 (type: DLL)")), kBlank22}));
    const QStringList lines = reportLines(report_);
    const qsizetype usb = lines.indexOf(QStringLiteral("***QZ USB DRIVERS***"));
    ASSERT_GE(usb, 0);
    EXPECT_EQ(
        lines.mid(usb + 1, 4),
        QStringList({row(QStringLiteral("KV Control"), QStringLiteral("1.0.0.1 (type: DLL)")),
                     row(QStringLiteral("PWX Control2"), QStringLiteral("Q&Z PWX USB NOT INSTALLED")),
                     row(QStringLiteral("PWX Control"), QStringLiteral("1.0.0.2 (type: DLL)")), kBlank22}));
}

TEST_F(SystemInventoryTest, StoredLanguageSettingsWinOverTheLocale) {
    const QString key = QStringLiteral("Control Panel\\International");
    computer_.setRegistry(InventoryRoot::CurrentUser, key, QStringLiteral("sCountry"),
                          QStringLiteral("Austria"));
    computer_.setRegistry(InventoryRoot::CurrentUser, key, QStringLiteral("Locale"),
                          QStringLiteral("00000C07"));
    fill();
    const QStringList lines = reportLines(report_);
    EXPECT_TRUE(lines.contains(row(QStringLiteral("Country"), QStringLiteral("Austria"))));
    EXPECT_TRUE(lines.contains(row(QStringLiteral("Language"), QStringLiteral("DEU"))));
    EXPECT_TRUE(lines.contains(row(QStringLiteral("Local ID"), QStringLiteral("00000C07"))));
}

TEST_F(SystemInventoryTest, DriverPaneListsEveryGroupWithItsPath) {
    computer_.setRegistry(InventoryRoot::LocalMachine, kFrameworkKey, QStringLiteral("FRAMEWORK_PATH"),
                          computer_.path(QStringLiteral("vxipnp/")));
    computer_.setRegistry(InventoryRoot::LocalMachine, kFrameworkKey, QStringLiteral("FrameworkPath"),
                          computer_.path(QStringLiteral("ignored")));
    computer_.setRegistry(InventoryRoot::LocalMachine, kWindowsKey, QStringLiteral("ProgramFilesDir"),
                          computer_.path(QStringLiteral("programs")));
    computer_.addFile(
        QStringLiteral("vxipnp/bin/qzfsp.dll"),
        facts(QStringLiteral("3.5.0.1"), {}, QStringLiteral("qzfsp_32_bit_driver_library.dll")));
    computer_.addFile(QStringLiteral("vxipnp/bin/QZSMU.DLL"),
                      facts(QStringLiteral("2.0.0.0"), {}, QStringLiteral("qzsmu.dll")));
    computer_.addFile(QStringLiteral("vxipnp/bin/other.dll"),
                      facts(QStringLiteral("9.9.9.9"), {}, QStringLiteral("other.dll")));
    computer_.addFile(QStringLiteral("vxipnp/bin/qzplain.dll"));
    computer_.addFile(QStringLiteral("programs/IVI/Bin/qzivi.dll"),
                      facts(QStringLiteral("1.1.0.0"), {}, QStringLiteral("qzivi.dll")));
    computer_.addFile(QStringLiteral("win/INF/qzusb.inf"));
    computer_.addFile(QStringLiteral("win/INF/qzlonely.inf"));
    computer_.addFile(QStringLiteral("win/SYSTEM32/Drivers/QZUSB.SYS"), facts(QStringLiteral("4.3.2.1"), {}));
    fill();

    const QString vxi = computer_.path(QStringLiteral("vxipnp/bin/"));
    const QString ivi = computer_.path(QStringLiteral("programs/IVI/Bin/"));
    const QString win = computer_.path(QStringLiteral("win/"));
    const QStringList expected = {
        QStringLiteral("***INSTALLED Q&Z VXI PNP DRIVERS***"),
        row(QStringLiteral("(PATH)"), vxi),
        row(QStringLiteral("qzfsp_32_bit_driver_"), QStringLiteral("3.5.0.1")),
        row(QStringLiteral("qzplain.dll         "), QString()),
        row(QStringLiteral("qzsmu.dll           "), QStringLiteral("2.0.0.0")),
        kBlank22,
        QStringLiteral("***INSTALLED Q&Z IVI DRIVERS***"),
        row(QStringLiteral("(PATH)"), ivi),
        row(QStringLiteral("qzivi.dll           "), QStringLiteral("1.1.0.0")),
        kBlank22,
        QStringLiteral("***INSTALLED Q&Z USB DRIVERS***"),
        row(QStringLiteral("(PATH)"), win),
        row(QStringLiteral("qzusb               "), QStringLiteral("4.3.2.1")),
        kBlank22,
    };
    const QStringList lines = reportLines(report_);
    const qsizetype first = lines.indexOf(expected.first());
    ASSERT_GE(first, 0);
    EXPECT_EQ(lines.mid(first), expected);
    EXPECT_EQ(drivers_.lines().at(2), QStringLiteral("qzfsp_32_bit_driver_  3.5.0.1"));
    EXPECT_EQ(drivers_.caret, 1);
}

TEST_F(SystemInventoryTest, NoDriversLeaveTheDriverPaneEmpty) {
    computer_.setRegistry(InventoryRoot::LocalMachine, kFrameworkKey, QStringLiteral("FRAMEWORK_PATH"),
                          computer_.path(QStringLiteral("vxipnp")));
    computer_.addFile(QStringLiteral("vxipnp/bin/readme.txt"));
    computer_.addFile(QStringLiteral("win/INF/qzusb.txt"));
    fill();
    EXPECT_EQ(drivers_.begins, 1);
    EXPECT_TRUE(drivers_.runs.empty());
    EXPECT_EQ(drivers_.caret, 1);
    EXPECT_EQ(reportLines(report_).last(), kBlank22);
    EXPECT_FALSE(report_.text().contains(QStringLiteral("INSTALLED Q&Z")));
}

TEST_F(SystemInventoryTest, UnconfiguredFrameworkFolderIsNotSearched) {
    fill();
    EXPECT_EQ(folders_.frameworkBin, QString());
    EXPECT_EQ(folders_.iviBin, QString());
    EXPECT_TRUE(drivers_.runs.empty());
}

TEST(SystemInventoryFormat, InstallTimeIsShownWithoutTimeZone) {
    EXPECT_EQ(SystemInventory::formatInstallTime(0), QStringLiteral("01.01.1970 00:00:00"));
    EXPECT_EQ(SystemInventory::formatInstallTime(1291816376), QStringLiteral("08.12.2010 13:52:56"));
}

TEST(SystemInventoryFormat, JoinPathPutsOneSeparatorBetween) {
    EXPECT_EQ(SystemInventory::joinPath(QStringLiteral("/a/"), QStringLiteral("b")), QStringLiteral("/a/b"));
    EXPECT_EQ(SystemInventory::joinPath(QStringLiteral("C:\\x\\"), QStringLiteral("b")),
              QStringLiteral("C:\\x\\b"));
    EXPECT_EQ(SystemInventory::joinPath(QString(), QStringLiteral("b")), QStringLiteral("b"));
}

}  // namespace

}  // namespace marlin::about
