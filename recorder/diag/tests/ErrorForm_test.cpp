#include <marlin/diag/ErrorForm.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <functional>
#include <thread>

#include <marlin/product.h>

#include "LogFixture.h"
#include <marlin/diag/RootDebug.h>

namespace marlin {
namespace {

const std::vector<std::string> kTwoEntries = {"QZStandard.GetAboutFormVersion",
                                              "QZStandard.GetISOTimeString"};

class ErrorFormTest : public ::testing::Test {
protected:
    ErrorFormTest() {
        form.SetNoticePresenter([this](QWidget*, const QString& caption, const QString& text) {
            notices.push_back(caption + "|" + text);
        });
    }

    // Runs `whileWaiting` from the event loop that DisplayError runs, then presses OK.
    void Display(const RuntimeError& error, const std::vector<std::string>& stack,
                 const std::function<void()>& whileWaiting = {}) {
        QMetaObject::invokeMethod(
            &form,
            [this, whileWaiting] {
                sawWaiting = form.Waiting() && form.isVisible();
                if (whileWaiting) {
                    whileWaiting();
                }
                form.ButtonOK()->click();
            },
            Qt::QueuedConnection);
        form.DisplayError(error, stack);
    }

    ErrorForm form;
    std::vector<QString> notices;
    bool sawWaiting = false;
};

TEST_F(ErrorFormTest, ShowsTheDesignTextsBeforeAnError) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("ERROR"));
    EXPECT_EQ(form.Label(0)->text(), QStringLiteral("RUNTIME ERROR"));
    EXPECT_EQ(form.Label(5)->text(), QStringLiteral("DETAILED ERROR INFORMATION"));
    EXPECT_EQ(form.Label(4)->text(), QStringLiteral("Stack History"));
    EXPECT_TRUE(form.Label(0)->font().bold());
    EXPECT_FALSE(form.Label(8)->font().bold());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(form.Info(i)->text(), QStringLiteral("---"));
        EXPECT_EQ(form.Info(i)->font().styleHint(), QFont::TypeWriter);
    }
    EXPECT_EQ(form.CopyToClipboard()->text(), QStringLiteral("&Copy to clipboard"));
    EXPECT_EQ(form.ButtonOK()->text(), QStringLiteral("&OK"));
    EXPECT_EQ(form.CallerList()->count(), 0);
}

TEST_F(ErrorFormTest, ReportsTheErrorAndTheStack) {
    Display({91, "Object variable not set", "Marlin"}, kTwoEntries, [this] {
        EXPECT_EQ(form.windowTitle(), QStringLiteral(MARLIN_PRODUCT_NAME));
        EXPECT_EQ(form.Info(0)->text(), QStringLiteral("Marlin"));
        EXPECT_EQ(form.Info(1)->text(), QStringLiteral("91 = &H5B"));  // "&&" shows one "&"
        EXPECT_EQ(form.InfoText(1), QStringLiteral("91 = &&H5B"));
        EXPECT_EQ(form.Info(2)->text(), QStringLiteral("Object variable not set"));
        ASSERT_EQ(form.CallerList()->count(), 2);
        EXPECT_EQ(form.CallerList()->item(0)->text(), QStringLiteral("QZStandard.GetAboutFormVersion"));
        EXPECT_EQ(form.CallerList()->item(1)->text(), QStringLiteral(">QZStandard.GetISOTimeString"));
    });
    EXPECT_TRUE(sawWaiting);
    EXPECT_EQ(form.ReportText(), QStringLiteral("SOURCE      : Marlin\r\n"
                                                "NUMBER      : 91 = &&H5B\r\n"
                                                "DESCRIPTION : Object variable not set\r\n"
                                                "CALLER STACK:\r\n"
                                                "QZStandard.GetAboutFormVersion\r\n"
                                                ">QZStandard.GetISOTimeString\r\n"));
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Waiting());
}

TEST_F(ErrorFormTest, WritesTheProgramsTexts) {
    Display({5, "Invalid procedure call or argument", "Marlin"}, {});
    EXPECT_EQ(form.LabelText(0),
              QStringLiteral(MARLIN_PRODUCT_NAME " has encounted a problem and needs to close. "
                                                 "We are sorry for the inconvenience."));
    EXPECT_EQ(form.LabelText(7), QStringLiteral("Please tell " MARLIN_MAKER_NAME " about this problem:"));
    EXPECT_EQ(
        form.LabelText(8),
        QStringLiteral(
            "We have created an error report that you can send to help us improve " MARLIN_PRODUCT_NAME "."));
    EXPECT_EQ(form.LabelText(10),
              QStringLiteral("Please press the button \"&Copy to clipboard\". You can use any "
                             "application to paste the report using <Ctrl-V>.\r\n"
                             "Send this mail to " MARLIN_SUPPORT_MAIL "."));
    EXPECT_EQ(form.Label(10)->text(),
              QStringLiteral("Please press the button \"Copy to clipboard\". You can use any "
                             "application to paste the report using <Ctrl-V>.\n"
                             "Send this mail to " MARLIN_SUPPORT_MAIL "."));
    EXPECT_EQ(form.Info(1)->text(), QStringLiteral("5 = &H5"));
}

TEST_F(ErrorFormTest, NegativeNumbersShowTheirThirtyTwoBitForm) {
    EXPECT_EQ(ErrorForm::NumberText(-2147467259), QStringLiteral("-2147467259 = &&H80004005"));
    EXPECT_EQ(ErrorForm::NumberText(-1), QStringLiteral("-1 = &&HFFFFFFFF"));
    EXPECT_EQ(ErrorForm::NumberText(0), QStringLiteral("0 = &&H0"));
    EXPECT_EQ(ErrorForm::NumberText(INT32_MIN), QStringLiteral("-2147483648 = &&H80000000"));
    Display({-2147467259, "Unspecified error", "cRegistry"}, {"A.B"});
    EXPECT_EQ(form.Info(1)->text(), QStringLiteral("-2147467259 = &H80004005"));
    EXPECT_THAT(form.ReportText().toStdString(),
                ::testing::HasSubstr("NUMBER      : -2147467259 = &&H80004005\r\n"));
}

TEST_F(ErrorFormTest, EmptyStackEndsTheReportWithTheStackHeading) {
    Display({53, "File not found", "Marlin"}, {});
    EXPECT_EQ(form.CallerList()->count(), 0);
    EXPECT_TRUE(
        form.ReportText().endsWith(QStringLiteral("DESCRIPTION : File not found\r\nCALLER STACK:\r\n")));
}

TEST_F(ErrorFormTest, DeeperEntriesGetOneMoreMarker) {
    Display({1, "x", "y"}, {"A.a", "B.b", "C.c", "D.d"});
    EXPECT_EQ(form.CallerList()->item(3)->text(), QStringLiteral(">>>D.d"));
}

TEST_F(ErrorFormTest, CopyingTwicePutsTheSameReportOnTheClipboard) {
    Display({91, "Object variable not set", "Marlin"}, kTwoEntries, [this] {
        QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
        form.CopyToClipboard()->click();
        const QString first = QGuiApplication::clipboard()->text();
        form.CopyToClipboard()->click();
        EXPECT_EQ(first, form.ReportText());
        EXPECT_EQ(QGuiApplication::clipboard()->text(), form.ReportText());
    });
    const QString notice = QStringLiteral(MARLIN_PRODUCT_NAME
                                          "|Support informations copied to clipboard.\r\n"
                                          "  Please mail to " MARLIN_SUPPORT_MAIL);
    EXPECT_THAT(notices, ::testing::ElementsAre(notice, notice));
}

TEST_F(ErrorFormTest, KeepsWaitingWhileEventsRunUntilOk) {
    bool returned = false;
    int rounds = 0;
    // Each round is a separate event: the window must still be up and waiting.
    std::function<void()> round = [&] {
        EXPECT_FALSE(returned);
        EXPECT_TRUE(form.isVisible());
        EXPECT_TRUE(form.Waiting());
        if (++rounds < 25) {
            QMetaObject::invokeMethod(&form, round, Qt::QueuedConnection);
        } else {
            form.ButtonOK()->click();
        }
    };
    QMetaObject::invokeMethod(&form, round, Qt::QueuedConnection);
    form.DisplayError({1, "x", "y"}, {});
    returned = true;
    EXPECT_EQ(rounds, 25);
}

TEST_F(ErrorFormTest, ClosingTheWindowEndsTheWaitAsOkDoes) {
    QMetaObject::invokeMethod(
        &form, [this] { form.close(); }, Qt::QueuedConnection);
    form.DisplayError({1, "x", "y"}, {});
    EXPECT_FALSE(form.Waiting());
    EXPECT_FALSE(form.isVisible());
}

TEST_F(ErrorFormTest, WaitingForOkIsAnnouncedOnce) {
    int announced = 0;
    QObject::connect(&form, &ErrorForm::waitingForOk, &form, [&] {
        ++announced;
        form.ButtonOK_Click();  // answered at once: no wait at all
    });
    form.DisplayError({1, "x", "y"}, {});
    EXPECT_EQ(announced, 1);
    EXPECT_FALSE(form.isVisible());
}

TEST(ErrorFormDisplayText, ResolvesMnemonicsAndLineEnds) {
    EXPECT_EQ(ErrorForm::DisplayText(QStringLiteral("&Copy && paste&")), QStringLiteral("Copy & paste"));
    EXPECT_EQ(ErrorForm::DisplayText(QStringLiteral("a\r\nb\rc")), QStringLiteral("a\nb\rc"));
    EXPECT_EQ(ErrorForm::DisplayText(QStringLiteral("&&&&H")), QStringLiteral("&&H"));
}

TEST_F(ErrorFormTest, RuntimeErrorRecordOpensAFreshWindow) {
    testing::TempDir folder;
    RootDebug log;
    log.SetFileName(folder.file("form.log"));
    log.SetFileLogEnabled(true);
    ErrorForm::InstallAsErrorWindow(log);

    QStringList seen;
    for (int i = 0; i < 2; ++i) {
        // The window is created inside the record; answer it from the loop it runs.
        QMetaObject::invokeMethod(
            qApp,
            [&seen] {
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    if (auto* shown = qobject_cast<ErrorForm*>(widget); shown && shown->Waiting()) {
                        seen << shown->ReportText();
                        shown->ButtonOK()->click();
                    }
                }
            },
            Qt::QueuedConnection);
        log.Push("QZStandard", "", "GetAboutFormVersion");
        log.LogRuntimeError("QZStandard", "", "GetAboutFormVersion", "",
                            {91, "Object variable not set", "Marlin"});
        log.Pop();
    }
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(seen[0], QStringLiteral("SOURCE      : Marlin\r\nNUMBER      : 91 = &&H5B\r\n"
                                      "DESCRIPTION : Object variable not set\r\nCALLER STACK:\r\n"
                                      "QZStandard.GetAboutFormVersion\r\n"));
    EXPECT_EQ(testing::ReadLines(folder.file("form.log")).size(), 12U);
}

TEST_F(ErrorFormTest, RecordFromAnotherThreadOpensNoWindow) {
    testing::TempDir folder;
    RootDebug log;
    log.SetFileName(folder.file("thread.log"));
    log.SetFileLogEnabled(true);
    ErrorForm::InstallAsErrorWindow(log);
    std::thread worker([&log] { log.LogRuntimeError("Worker", "", "Run", "", {6, "Overflow", "Marlin"}); });
    worker.join();  // returns: nothing waits for an OK that no window could give
    EXPECT_EQ(testing::ReadLines(folder.file("thread.log")).size(), 6U);
}

}  // namespace
}  // namespace marlin
