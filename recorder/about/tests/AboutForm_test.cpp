#include <marlin/about/AboutForm.h>

#include "AboutFakes.h"
#include <marlin/about/AboutWindow.h>
#include <marlin/diag/RtfView.h>

#include <marlin/product.h>

#include <QAbstractTextDocumentLayout>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <set>

namespace marlin::about {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kNiSpyKey = QStringLiteral("SOFTWARE\\National Instruments\\NI Spy");
const QString kNiSpyOptions = QStringLiteral("SOFTWARE\\National Instruments\\NI Spy\\Options");

// The distinct x positions, on the laid-out page, at which the values follow their padded
// labels (italic or bold) on the lines whose label fits its 20 characters.
std::set<qreal> valueColumns(QTextDocument& document) {
    constexpr int kLabelWidth = 20;
    std::set<qreal> columns;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.text().size() <= kLabelWidth || block.text().at(kLabelWidth - 1) != QLatin1Char(' '))
            continue;
        document.documentLayout()->blockBoundingRect(block);  // lays the block out
        if (block.layout()->lineCount() > 0) columns.insert(block.layout()->lineAt(0).cursorToX(kLabelWidth));
    }
    return columns;
}

class AboutFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = computer_.addFile(QStringLiteral("app/marlin"));
        QFile file(program_);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2010, 12, 8), QTime(13, 52, 56)),
                                     QFileDevice::FileModificationTime));
        auto services = std::make_unique<FakeAboutServices>();
        services_ = services.get();
        services_->computer = &computer_;
        services_->program = program_;
        form_ = new AboutForm(std::move(services));
    }

    void TearDown() override { delete form_.data(); }

    template <typename T>
    T* control(const QString& name) const {
        T* found = form_->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QPushButton* button(const QString& name) const { return control<QPushButton>(name); }
    QString tag(const QString& name) const { return button(name)->property("Tag").toString(); }
    bool paneVisible(const QString& name) const { return !control<QWidget>(name)->isHidden(); }

    PreparedComputer computer_;
    QString program_;
    FakeAboutServices* services_ = nullptr;
    QPointer<AboutForm> form_;
};

TEST_F(AboutFormTest, ControlsCarryTheirTextsTooltipsAndTags) {
    EXPECT_EQ(form_->windowTitle(), QStringLiteral("Info"));
    EXPECT_EQ(form_->size(), QSize(537, 333));
    struct Expected {
        const char* name;
        const char* text;
        const char* tip;
    };
    for (const Expected& expected :
         {Expected{"ShowSystemInfo", "system information", "Display system information"},
          Expected{"ShowDriverInfo", "driver information",
                   "Display information on installed QZ instrument drivers"},
          Expected{"ShowLegalNotes", "legal information", "Display legal information"},
          Expected{"CreateSupportString", "copy support information to clipboard", ""},
          Expected{"StartNISpy", "start NI SPY", ""}, Expected{"Close", "OK", ""}}) {
        QPushButton* found = button(QString::fromLatin1(expected.name));
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->text(), QString::fromLatin1(expected.text));
        EXPECT_EQ(found->toolTip(), QString::fromLatin1(expected.tip));
    }
    for (const char* name : {"ShowSystemInfo", "ShowDriverInfo", "ShowLegalNotes"})
        EXPECT_EQ(tag(QString::fromLatin1(name)), QStringLiteral("show"));

    QStringList captions;
    for (const QLabel* label : form_->findChildren<QLabel*>(QStringLiteral("Label")))
        captions << label->text();
    EXPECT_EQ(captions, QStringList({QStringLiteral("Company homepage:"),
                                     QStringLiteral("Product  homepage:"), QStringLiteral("Support mail:")}));
    EXPECT_EQ(control<QLabel>(QStringLiteral("HomeLink"))->text(), QStringLiteral("www.quazar.example"));
    EXPECT_EQ(control<QLabel>(QStringLiteral("ProductLink"))->text(),
              QStringLiteral("click here to open product homepage"));
    EXPECT_EQ(control<QLabel>(QStringLiteral("SupportMail"))->text(), QStringLiteral(MARLIN_SUPPORT_MAIL));
    for (const char* name : {"AppName", "AppVersion", "AppDesc", "AppUser", "AppCopy"}) {
        const QLabel* label = control<QLabel>(QString::fromLatin1(name));
        EXPECT_EQ(label->text(), QString::fromLatin1(name));
        EXPECT_EQ(label->font().family(), QStringLiteral("Times New Roman"));
    }

    for (const char* name : {"LizText", "SysInfoValue", "DriverInfoValue"}) {
        const QWidget* pane = control<QWidget>(QString::fromLatin1(name));
        EXPECT_TRUE(pane->isHidden());
        EXPECT_EQ(pane->geometry(), QRect(0, 64, 531, 200)) << name;
    }
    EXPECT_EQ(form_->paneText(QStringLiteral("LizText")).trimmed(),
              QStringLiteral("I accept the terms of use as published\n" MARLIN_MAKER_TERMS_URL));
    const std::string legal = control<marlin::RtfView>(QStringLiteral("LizText"))->RtfText();
    EXPECT_NE(legal.find("{\\b\\cf1\\qc I accept the terms of use as published\\par}"), std::string::npos)
        << legal;
    EXPECT_NE(legal.find("{\\ul\\cf4\\qc " MARLIN_MAKER_TERMS_URL "\\par}"), std::string::npos) << legal;
}

TEST_F(AboutFormTest, PanesToggleOneAtATime) {
    form_->load();
    button(QStringLiteral("ShowSystemInfo"))->click();
    EXPECT_TRUE(paneVisible(QStringLiteral("SysInfoValue")));
    EXPECT_EQ(tag(QStringLiteral("ShowSystemInfo")), QStringLiteral("hide"));

    button(QStringLiteral("ShowSystemInfo"))->click();
    EXPECT_FALSE(paneVisible(QStringLiteral("SysInfoValue")));
    EXPECT_EQ(tag(QStringLiteral("ShowSystemInfo")), QStringLiteral("show"));

    button(QStringLiteral("ShowSystemInfo"))->click();
    button(QStringLiteral("ShowDriverInfo"))->click();
    EXPECT_FALSE(paneVisible(QStringLiteral("SysInfoValue")));
    EXPECT_TRUE(paneVisible(QStringLiteral("DriverInfoValue")));
    EXPECT_EQ(tag(QStringLiteral("ShowSystemInfo")), QStringLiteral("show"));
    EXPECT_EQ(tag(QStringLiteral("ShowDriverInfo")), QStringLiteral("hide"));

    button(QStringLiteral("ShowLegalNotes"))->click();
    EXPECT_TRUE(paneVisible(QStringLiteral("LizText")));
    EXPECT_FALSE(paneVisible(QStringLiteral("DriverInfoValue")));

    form_->HideAllPanes();
    for (const char* name : {"LizText", "SysInfoValue", "DriverInfoValue"})
        EXPECT_FALSE(paneVisible(QString::fromLatin1(name)));
    for (const char* name : {"ShowSystemInfo", "ShowDriverInfo", "ShowLegalNotes"})
        EXPECT_EQ(tag(QString::fromLatin1(name)), QStringLiteral("show"));

    // A Tag that says neither leaves the panes alone.
    button(QStringLiteral("ShowSystemInfo"))->setProperty("Tag", QStringLiteral("other"));
    button(QStringLiteral("ShowSystemInfo"))->click();
    EXPECT_FALSE(paneVisible(QStringLiteral("SysInfoValue")));
}

TEST_F(AboutFormTest, NormalModeDescribesThisProgram) {
    form_->setProgramVersion({1, 15, 1});
    form_->load();
    EXPECT_TRUE(form_->isVisible());
    EXPECT_EQ(form_->windowTitle(), QStringLiteral("Information about " MARLIN_PRODUCT_NAME));
    EXPECT_EQ(form_->ApplicName(), QStringLiteral(MARLIN_PRODUCT_NAME));
    EXPECT_EQ(control<QLabel>(QStringLiteral("AppVersion"))->text(),
              QStringLiteral("version 1.15.1  from 08.12.2010 13:52:56"));
    EXPECT_TRUE(control<QLabel>(QStringLiteral("AppCopy"))->text().startsWith(QStringLiteral("Copyright: ")));
    EXPECT_EQ(control<QLabel>(QStringLiteral("AppUser"))->text(), QString());
    EXPECT_EQ(form_->VersionSuffix(), QStringLiteral(".1"));
    EXPECT_EQ(form_->ProgramDateText(), QStringLiteral("12/8/2010"));
    EXPECT_EQ(form_->AppNoteID(), QStringLiteral(MARLIN_MAKER_APPNOTE_URL));
    EXPECT_FALSE(form_->StandAlone());
    EXPECT_TRUE(form_->SupportText().startsWith(QStringLiteral("*** GLOBAL SETUP ***") + kCrLf +
                                                QStringLiteral("Product:              " MARLIN_PRODUCT_NAME) +
                                                kCrLf + QStringLiteral("Version:              1.15.1") +
                                                kCrLf + QStringLiteral("Date:                 12/8/2010") +
                                                kCrLf + QStringLiteral("Operating system:     ")));
    EXPECT_TRUE(form_->SupportText().contains(QStringLiteral("***LANGUAGE SETTINGS***") + kCrLf));
    EXPECT_TRUE(
        form_->paneText(QStringLiteral("SysInfoValue")).startsWith(QStringLiteral("Operating system\n")));
    const marlin::RtfView* systemPane = control<marlin::RtfView>(QStringLiteral("SysInfoValue"));
    // Italic labels, plain values ending their line, black, no highlight.
    const std::string system = systemPane->RtfText();
    EXPECT_NE(system.find("{\\i\\cf1\\ql Admin rights        }{\\cf1\\ql NO\\par}"), std::string::npos)
        << system;
    EXPECT_NE(system.find("{\\b\\cf1\\ql Language settings   }{\\cf1\\ql \\par}"), std::string::npos);
    // The values line up as the user sees them, whichever fixed-pitch font stands in (a font
    // may have equal advances and still not call itself fixed pitch).
    const QFontMetrics metrics(systemPane->document()->defaultFont());
    EXPECT_EQ(metrics.horizontalAdvance(QStringLiteral("iiii")),
              metrics.horizontalAdvance(QStringLiteral("WWWW")));
    EXPECT_EQ(valueColumns(*systemPane->document()).size(), 1u) << system;
    EXPECT_EQ(form_->supportMailSubject(),
              QStringLiteral("Question to " MARLIN_PRODUCT_NAME ", version 1.15.1 from 12/8/2010"));
    EXPECT_EQ(form_->supportMailAddress(),
              QStringLiteral("mailto:" MARLIN_SUPPORT_MAIL "?SUBJECT=Question%20to%20" MARLIN_PRODUCT_NAME
                             ",%20version%201.15.1%20from%2012/8/2010"));

    // OK only hides the window; its content stays.
    const QString report = form_->SupportText();
    button(QStringLiteral("Close"))->click();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(services_->quits, 0);
    form_->load();
    EXPECT_EQ(form_->SupportText(), report);
}

TEST_F(AboutFormTest, RevisionZeroLeavesTheThirdNumberOut) {
    form_->setProgramVersion({1, 15, 0});
    form_->load();
    EXPECT_EQ(control<QLabel>(QStringLiteral("AppVersion"))->text(),
              QStringLiteral("version 1.15.0  from 08.12.2010"));
    EXPECT_TRUE(form_->SupportText().contains(QStringLiteral("Version:              1.15") + kCrLf));
    EXPECT_TRUE(form_->supportMailSubject().endsWith(QStringLiteral(", version 1.15 from 12/8/2010")));
}

TEST_F(AboutFormTest, CommandLineModeDescribesTheOtherApplication) {
    services_->commandLine = {QStringLiteral("CVI"),
                              QStringLiteral("Tool,Does things,2.0,Lab,Maker 2010,address")};
    form_->load();
    EXPECT_EQ(form_->windowTitle(), QStringLiteral("Information about Tool"));
    EXPECT_EQ(control<QLabel>(QStringLiteral("AppName"))->text(), QStringLiteral("Tool"));
    EXPECT_EQ(control<QLabel>(QStringLiteral("AppDesc"))->text(), QStringLiteral("Does things"));
    EXPECT_EQ(control<QLabel>(QStringLiteral("AppVersion"))->text(), QStringLiteral("2.0"));
    EXPECT_EQ(control<QLabel>(QStringLiteral("AppUser"))->text(), QStringLiteral("Lab"));
    EXPECT_EQ(control<QLabel>(QStringLiteral("AppCopy"))->text(), QStringLiteral("Copyright: Maker 2010"));
    EXPECT_EQ(form_->AppNoteID(), QStringLiteral("address"));
    EXPECT_TRUE(form_->StandAlone());
    EXPECT_TRUE(form_->SupportText().startsWith(QStringLiteral("*** GLOBAL SETUP ***") + kCrLf +
                                                QStringLiteral("Product:              Tool") + kCrLf +
                                                QStringLiteral("Version:              2.0") + kCrLf +
                                                QStringLiteral("Date:                 ") + kCrLf));
    EXPECT_EQ(form_->supportMailSubject(), QStringLiteral("Question to Tool, version 2.0"));

    form_->ProductLink_Click();
    EXPECT_EQ(services_->opened, QStringList({QStringLiteral("address")}));

    button(QStringLiteral("Close"))->click();
    EXPECT_EQ(services_->quits, 1);
}

TEST_F(AboutFormTest, MailSubjectSurvivesSpecialCharactersInTheName) {
    services_->commandLine = {QStringLiteral("CVI"), QStringLiteral("Tool & Co #1,d,2.0,u,c,a")};
    form_->load();
    EXPECT_EQ(form_->supportMailAddress(),
              QStringLiteral("mailto:" MARLIN_SUPPORT_MAIL
                             "?SUBJECT=Question%20to%20Tool%20%26%20Co%20%231,%20version%202.0"));
}

TEST_F(AboutFormTest, CommandLineWithFewFieldsKeepsDesignTextsButOkEndsTheProgram) {
    services_->commandLine = {QStringLiteral("CVI"), QStringLiteral("\"Tool\",\"Does things\"")};
    form_->load();
    EXPECT_EQ(form_->windowTitle(), QStringLiteral("Info"));
    EXPECT_EQ(control<QLabel>(QStringLiteral("AppName"))->text(), QStringLiteral("AppName"));
    EXPECT_EQ(control<QLabel>(QStringLiteral("AppCopy"))->text(), QStringLiteral("AppCopy"));
    EXPECT_TRUE(form_->StandAlone());
    form_->Close_Click();
    EXPECT_EQ(services_->quits, 1);
}

TEST_F(AboutFormTest, SupportReportGoesToTheClipboard) {
    form_->load();
    button(QStringLiteral("CreateSupportString"))->click();
    EXPECT_EQ(services_->clipboard, form_->SupportText());
    ASSERT_EQ(services_->messages.size(), 1u);
    EXPECT_EQ(
        services_->messages[0].text,
        QStringLiteral("Support information copied to clipboard.\r\nUse <CTRL-V> to paste the information in "
                       "your mail program or a text editor."));
}

TEST_F(AboutFormTest, LinksOpenTheConfiguredAddressesAndIgnoreFailures) {
    form_->load();
    form_->HomeLink_Click();
    form_->ProductLink_Click();
    form_->SupportMail_Click();
    EXPECT_EQ(services_->opened,
              QStringList({QStringLiteral(MARLIN_MAKER_HOME_URL), QStringLiteral(MARLIN_MAKER_APPNOTE_URL),
                           form_->supportMailAddress()}));
    EXPECT_TRUE(services_->messages.empty());
}

TEST_F(AboutFormTest, LinkLabelsReactToTheMouse) {
    form_->load();
    QTest::mouseClick(control<QLabel>(QStringLiteral("HomeLink")), Qt::LeftButton);
    QTest::mouseClick(control<QLabel>(QStringLiteral("SupportMail")), Qt::RightButton);
    EXPECT_EQ(services_->opened, QStringList({QStringLiteral(MARLIN_MAKER_HOME_URL)}));
}

TEST_F(AboutFormTest, HelpdeckIsItsOwnProgramWithADownloadPage) {
    services_->commandLine = {QStringLiteral("CVI \"Helpdeck\",\"Help\",\"3.1\",\"\",\"Maker\",\"note\"")};
    form_->load();
    EXPECT_EQ(form_->ApplicName(), QStringLiteral("Helpdeck"));
    EXPECT_EQ(form_->supportMailSubject(), QStringLiteral("Question to Helpdeck, version 3.1"));
    form_->ProductLink_Click();
    EXPECT_EQ(services_->opened, QStringList({QStringLiteral(MARLIN_MAKER_DOWNLOAD_URL)}));
    EXPECT_EQ(control<QLabel>(QStringLiteral("AppUser"))->text(), QString());
}

TEST_F(AboutFormTest, NiSpyNotInstalledOnlySaysSo) {
    form_->load();
    services_->registry[registryPath(InventoryRoot::LocalMachine, kNiSpyKey, QStringLiteral("InstDir"))] =
        computer_.path(QStringLiteral("nispy"));  // folder named, program missing
    for (int attempt = 0; attempt < 2; ++attempt) {
        button(QStringLiteral("StartNISpy"))->click();
        services_->registry.clear();  // second attempt: no entry at all
    }
    ASSERT_EQ(services_->messages.size(), 2u);
    for (const auto& message : services_->messages) {
        EXPECT_EQ(message.title, QStringLiteral("NI Spy not found."));
        EXPECT_EQ(message.text, QStringLiteral("NI Spy is not installed."));
        EXPECT_EQ(message.icon, AboutServices::Icon::Information);
    }
    EXPECT_TRUE(services_->questions.empty());
    EXPECT_TRUE(services_->started.isEmpty());
    EXPECT_TRUE(services_->registry.isEmpty());
}

TEST_F(AboutFormTest, NiSpyStartsWithLoggingToAFileBesideTheProgram) {
    form_->load();
    const QString tool = computer_.addFile(QStringLiteral("nispy/NISpy.exe"));
    services_->registry[registryPath(InventoryRoot::LocalMachine, kNiSpyKey, QStringLiteral("InstDir"))] =
        computer_.path(QStringLiteral("nispy/"));
    services_->answerYes = false;
    button(QStringLiteral("StartNISpy"))->click();
    const QString logFile = computer_.path(QStringLiteral("app/NISpy_2010.12.08 13.52.56.spy"));
    ASSERT_EQ(services_->questions.size(), 1u);
    EXPECT_EQ(services_->questions[0].text,
              QStringLiteral("The National Instruments SPY will start in order to generate an error log.\r\n"
                             "The log will be automatically stored to\r\n      ") +
                  logFile + QStringLiteral("\r\n\r\nContinue?"));
    EXPECT_TRUE(services_->started.isEmpty());
    EXPECT_EQ(services_->registry.size(), 1);

    services_->answerYes = true;
    button(QStringLiteral("StartNISpy"))->click();
    EXPECT_EQ(services_->started, QStringList({tool}));
    EXPECT_EQ(services_->registry.value(
                  registryPath(InventoryRoot::CurrentUser, kNiSpyOptions, QStringLiteral("Log Enabled"))),
              QStringLiteral("1"));
    EXPECT_EQ(services_->registry.value(
                  registryPath(InventoryRoot::CurrentUser, kNiSpyOptions, QStringLiteral("Log File Name"))),
              logFile);
    EXPECT_EQ(services_->registry.value(
                  registryPath(InventoryRoot::CurrentUser, kNiSpyOptions, QStringLiteral("History Depth"))),
              QStringLiteral("99999"));
    EXPECT_TRUE(control<QLabel>(QStringLiteral("Status"))->text().contains(QStringLiteral("F8")));

    services_->startSucceeds = false;
    button(QStringLiteral("StartNISpy"))->click();
    EXPECT_EQ(control<QLabel>(QStringLiteral("Status"))->text(),
              QStringLiteral("NI Spy could not be started: no such program"));
}

TEST_F(AboutFormTest, ClosingThroughTheFrameUnloadsTheWindow) {
    form_->load();
    form_->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form_.isNull());
}

TEST_F(AboutFormTest, ShowingLoadsOnce) {
    EXPECT_FALSE(form_->isLoaded());
    form_->show();
    EXPECT_TRUE(form_->isLoaded());
    const QString report = form_->SupportText();
    EXPECT_TRUE(report.startsWith(QStringLiteral("*** GLOBAL SETUP ***")));
    form_->hide();
    form_->show();
    EXPECT_EQ(form_->SupportText(), report);
}

TEST(AboutWindow, OwnerKeptWindowEndsTheProgramThroughTheOwnersWay) {
    int ends = 0;
    setAboutEndProgram([&ends] { ++ends; });
    setAboutCommandLine({QStringLiteral("CVI")});
    QPointer<AboutForm> window = createAboutWindow(nullptr);
    window->show();
    EXPECT_TRUE(window->StandAlone());
    window->Close_Click();
    EXPECT_EQ(ends, 1);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    setAboutEndProgram({});
    setAboutCommandLine({});
}

TEST(AboutWindow, ShowingAgainKeepsTheWindowUntilItIsClosed) {
    setAboutCommandLine({});
    EXPECT_FALSE(isAboutCommandLine({}));
    EXPECT_TRUE(isAboutCommandLine({QStringLiteral("CVI"), QStringLiteral("a,b")}));

    QPointer<AboutForm> first = showAboutWindow();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isLoaded());
    EXPECT_TRUE(first->isVisible());
    first->Close_Click();
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(showAboutWindow(), first.data());
    EXPECT_TRUE(first->isVisible());

    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    QPointer<AboutForm> second = showAboutWindow();
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->isLoaded());
    second->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

}  // namespace marlin::about
