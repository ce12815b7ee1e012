// Recordings driven through the window: START and STOP clicked, questions answered, the
// instrument scripted behind the bus interface.

#include "MainFormFixture.h"
#include "SignalStop.h"

#include <QGroupBox>

#include <algorithm>
#include <csignal>
#include <functional>

namespace marlin {
namespace {

using test::FakeUserPrompts;

class MainFormRecordingTest : public test::MainFormFixture {
protected:
    MainFormRecordingTest() {
        RecorderSettings stored = RecorderSettings::defaults();
        stored.address = "127.0.10.7";
        stored.interval = "0";
        stored.fileName = path(QStringLiteral("trace.sft")).toStdString();
        EXPECT_TRUE(settingsFile.save(stored));
        createForm();
        prompts.defaultAnswer = QMessageBox::Ok;
    }

    // Stops the recording through the STOP button once the n-th trace query was answered.
    void stopAfter(int readings) {
        fakeBus.afterTraceQuery = [this, readings](int n) {
            if (n == readings) clickLater("imgStop");
        };
    }
};

TEST_F(MainFormRecordingTest, StartRecordsUntilStopAndTheWindowFollows) {
    struct Seen {
        QString status;
        bool startEnabled;
        Qt::CursorShape cursor;
        QColor connect;
    };
    std::vector<Seen> atTraceQuery;
    fakeBus.afterTraceQuery = [&](int n) {
        atTraceQuery.push_back({statusText(), child<PictureButton>("imgStart")->isEnabled(),
                                form->cursor().shape(), connectColour()});
        if (n == 3) clickLater("imgStop");
    };
    stopwatchStepMs = 250;
    click("imgStart");  // returns when the recording has ended
    ASSERT_TRUE(stopwatch);

    ASSERT_EQ(atTraceQuery.size(), 3u);
    for (const Seen& seen : atTraceQuery) {
        EXPECT_EQ(seen.status, QStringLiteral("recording ..."));
        EXPECT_FALSE(seen.startEnabled);
        EXPECT_EQ(seen.cursor, Qt::WaitCursor);
        EXPECT_EQ(seen.connect, QColor(0, 255, 0));
    }
    // Stopped: the reading in hand was finished and written, then the instrument was let go.
    EXPECT_EQ(form->session()->readingCount(), 3);
    EXPECT_EQ(statusText(), QString());
    EXPECT_EQ(connectColour(), QColor(255, 0, 0));
    EXPECT_TRUE(child<PictureButton>("imgStart")->isEnabled());
    EXPECT_NE(form->cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(fakeBus.commands.back(), "INIT:CONT ON");
    EXPECT_EQ(fakeBus.localCalls, 1);
    EXPECT_EQ(fakeBus.opened.back(), "127.0.10.7");
    EXPECT_EQ(probe.checked, std::vector<std::string>{"127.0.10.7"});
    // An interval that is not above 0 becomes the smallest one and the box shows it.
    EXPECT_NE(child<QLineEdit>("RecInter")->text(), QStringLiteral("0"));
    EXPECT_EQ(form->windowHeightTwips(), 1220);

    const QByteArray file = traceFile();
    // The head carries the interval as typed; the loop then uses the smallest one.
    EXPECT_TRUE(file.startsWith("ENDSTOP;0x3       \nCAPDELAYTIME;0.000000\nType;FSX;\n\n"))
        << file.left(60).toStdString();
    EXPECT_EQ(file.count("Section"), 3);
    EXPECT_TRUE(file.contains("Section3;2010.3.2_9.5.7:40\n"));
    EXPECT_TRUE(prompts.messages.empty());

    // START saved the six settings as the window showed them.
    const RecorderSettings saved = settingsFile.load();
    EXPECT_EQ(saved.address, "127.0.10.7");
    EXPECT_EQ(saved.fileName, path(QStringLiteral("trace.sft")).toStdString());
    EXPECT_EQ(saved.format, FileForm::Binary);
    EXPECT_EQ(saved.interval, "0");
}

TEST_F(MainFormRecordingTest, ProgressBarCountsDownForIntervalsAboveOneSecond) {
    child<QLineEdit>("RecInter")->setText(QStringLiteral("2"));
    auto* bar = child<QWidget>("KXprogressBar1");
    EXPECT_FALSE(bar->isVisible());
    std::vector<int> shown;
    std::vector<QString> statusWhileWaiting;
    stopwatchStepMs = 250;
    fakeBus.afterTraceQuery = [&](int n) {
        if (n == 1) {
            stopwatch->onRead = [&](double) {
                const int value = bar->property("Value").toInt();
                if (shown.empty() || shown.back() != value) shown.push_back(value);
                statusWhileWaiting.push_back(statusText());
            };
        }
        if (n == 2) {
            stopwatch->onRead = nullptr;
            clickLater("imgStop");
        }
    };
    click("imgStart");
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(form->windowHeightTwips(), 1500);
    EXPECT_LE(bar->geometry().bottom(), form->height());
    // The 2-second wait, read at 250 ms steps: the remaining time falls towards 0 in several steps.
    ASSERT_GE(shown.size(), 4u) << "values seen: " << shown.size();
    EXPECT_EQ(shown.front(), 0);  // readings show 0
    EXPECT_GE(shown[1], 75);
    EXPECT_LT(shown[1], 100);
    EXPECT_TRUE(std::is_sorted(shown.begin() + 1, shown.end(), std::greater<int>()));
    EXPECT_LE(shown.back(), 25);
    ASSERT_FALSE(statusWhileWaiting.empty());
    for (const QString& status : statusWhileWaiting) EXPECT_EQ(status, QStringLiteral("idle."));
    EXPECT_EQ(bar->property("Value").toInt(), 0);
    EXPECT_EQ(form->session()->readingCount(), 2);
}

TEST_F(MainFormRecordingTest, OneSecondIntervalKeepsTheCompactStrip) {
    child<QLineEdit>("RecInter")->setText(QStringLiteral("1"));
    form->ShowOptions_Click();
    stopAfter(1);
    click("imgStart");
    EXPECT_FALSE(child<QWidget>("KXprogressBar1")->isVisible());
    // Starting closed the options panel.
    EXPECT_EQ(form->windowHeightTwips(), 1220);
    EXPECT_EQ(child<QLabel>("lblOptions")->text(), QStringLiteral("show options"));
}

TEST_F(MainFormRecordingTest, OverwriteQuestionAnsweredCancelLeavesEverything) {
    {
        QFile old(path(QStringLiteral("trace.sft")));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("yesterday's recording");
    }
    child<QLineEdit>("IPAdr")->setText(QStringLiteral("127.0.10.6"));
    prompts.answers = {QMessageBox::Cancel};
    click("imgStart");
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(traceFile(), QByteArray("yesterday's recording"));
    EXPECT_EQ(fakeBus.opened, std::vector<std::string>{"localhost"});  // only the load-time probe
    EXPECT_TRUE(child<PictureButton>("imgStart")->isEnabled());
    EXPECT_NE(form->cursor().shape(), Qt::WaitCursor);
    // The settings were saved before the question all the same.
    EXPECT_EQ(settingsFile.load().address, "127.0.10.6");
}

TEST_F(MainFormRecordingTest, UnreachableHostSaysNoInstrumentFound) {
    probe.reachable = false;
    click("imgStart");
    ASSERT_EQ(prompts.messages.size(), 1u);
    const auto& shown = prompts.messages[0];
    EXPECT_EQ(shown.title, QStringLiteral("No instrument found"));
    EXPECT_EQ(shown.text,
              QStringLiteral("No device was found at the specified address.\r\nPlease check if the "
                             "instrument has been properly connected to the network or if the "
                             "provided address is correct."));
    EXPECT_EQ(shown.icon, QMessageBox::Warning);
    EXPECT_EQ(shown.buttons, QMessageBox::Ok);
    EXPECT_EQ(fakeBus.opened, std::vector<std::string>{"localhost"});
    EXPECT_TRUE(child<PictureButton>("imgStart")->isEnabled());
    EXPECT_NE(form->cursor().shape(), Qt::WaitCursor);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("trace.sft"))));
}

TEST_F(MainFormRecordingTest, InactiveTraceIsNamedAndTheFileKeepsItsHead) {
    fakeBus.activeTraces[1] = false;
    child<QComboBox>("RecTrace")->setCurrentIndex(1);
    click("imgStart");
    ASSERT_EQ(prompts.messages.size(), 1u);
    const auto& shown = prompts.messages[0];
    EXPECT_EQ(shown.title, QStringLiteral("Marlin"));
    EXPECT_EQ(
        shown.text,
        QStringLiteral("Selected Trace is not active.\r\nPlease activate Trace 2 before start recording."));
    EXPECT_EQ(shown.icon, QMessageBox::Warning);
    EXPECT_EQ(shown.buttons, QMessageBox::Ok);
    EXPECT_EQ(statusText(), QStringLiteral("ready"));
    EXPECT_TRUE(child<PictureButton>("imgStart")->isEnabled());
    EXPECT_EQ(connectColour(), QColor(255, 0, 0));  // the instrument was given back
    EXPECT_EQ(fakeBus.localCalls, 1);
    EXPECT_EQ(form->session()->readingCount(), 0);
    const QByteArray file = traceFile();
    EXPECT_TRUE(file.startsWith("ENDSTOP;0x00000097\n"));
    EXPECT_FALSE(file.contains("Section"));
}

TEST_F(MainFormRecordingTest, InstrumentThatCannotBeOpenedIsNamedAndStartWorksAgain) {
    fakeBus.findFails = true;
    click("imgStart");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.contains(QStringLiteral("could not be opened")));
    EXPECT_EQ(prompts.messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(statusText(), QStringLiteral("no connection"));
    EXPECT_EQ(connectColour(), QColor(255, 0, 0));
    EXPECT_TRUE(child<PictureButton>("imgStart")->isEnabled());
}

TEST_F(MainFormRecordingTest, ExitAnsweredNoDuringARecordingLetsItGoOn) {
    fakeBus.afterTraceQuery = [this](int n) {
        if (n == 1) clickLater("imgExit");
        if (n == 4) clickLater("imgStop");
    };
    prompts.answers = {QMessageBox::No};
    click("imgStart");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].title, QStringLiteral("Exit Marlin"));
    EXPECT_EQ(form->session()->readingCount(), 4);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(programEnds, 0);
}

TEST_F(MainFormRecordingTest, CloseBoxDuringARecordingAsksAndYesStopsFirst) {
    fakeBus.afterTraceQuery = [this](int n) {
        if (n == 1)
            QMetaObject::invokeMethod(
                form.get(), [this] { form->close(); }, Qt::QueuedConnection);
    };
    prompts.answers = {QMessageBox::Yes};
    click("imgStart");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, QStringLiteral("Are you sure you want to exit Marlin?"));
    EXPECT_EQ(fakeBus.localCalls, 1);
    EXPECT_EQ(programEnds, 1);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainFormRecordingTest, EndingWithoutTheQuestionStopsTheRecordingFirst) {
    // The About window's stand-alone OK: no question, but the instrument is returned to local
    // and the reading in hand is written before the program ends.
    fakeBus.afterTraceQuery = [this](int n) {
        if (n == 2)
            QMetaObject::invokeMethod(
                form.get(), [this] { form->endWithStop(); }, Qt::QueuedConnection);
    };
    click("imgStart");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(form->session()->readingCount(), 2);
    EXPECT_EQ(fakeBus.localCalls, 1);
    EXPECT_EQ(programEnds, 1);
    EXPECT_FALSE(form->isVisible());
}

#ifndef _WIN32
TEST_F(MainFormRecordingTest, CtrlCDuringARecordingStopsItFirstThenEndsTheProgram) {
    // What main() sets up: SIGINT leads to the same end as the About window's OK.
    const SignalStop signalStop([this] { form->endWithStop(); });
    fakeBus.afterTraceQuery = [](int n) {
        if (n == 2) ::raise(SIGINT);
    };
    click("imgStart");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(form->session()->readingCount(), 2);  // the reading in hand is written
    EXPECT_EQ(fakeBus.localCalls, 1);
    EXPECT_EQ(programEnds, 1);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainFormRecordingTest, SigtermWithoutARecordingEndsTheProgram) {
    const SignalStop signalStop([this] { form->endWithStop(); });
    ::raise(SIGTERM);
    EXPECT_TRUE(QTest::qWaitFor([this] { return programEnds > 0; }, 5000));
    EXPECT_EQ(programEnds, 1);
    EXPECT_EQ(fakeBus.localCalls, 0);
    EXPECT_FALSE(form->isVisible());
}
#endif

TEST_F(MainFormRecordingTest, OptionsOpenAndCloseDuringARecording) {
    child<QLineEdit>("RecInter")->setText(QStringLiteral("1,5"));
    std::vector<int> heights;
    fakeBus.afterTraceQuery = [&](int n) {
        heights.push_back(form->windowHeightTwips());
        if (n == 1) clickLater("lblOptions");
        if (n == 2) clickLater("imgOptions");
        if (n == 3) clickLater("imgStop");
    };
    click("imgStart");
    // The recording starts with the bar (1500); the panel opens to 4395 and closes to 1220.
    EXPECT_EQ(heights, (std::vector<int>{1500, 4395, 1220}));
    EXPECT_EQ(child<QLabel>("lblOptions")->text(), QStringLiteral("show options"));
}

TEST_F(MainFormRecordingTest, ChangesInTheBoxesTakeEffectWithTheNextReading) {
    const QString second = path(QStringLiteral("second.sft"));
    bool changed = false;
    fakeBus.afterTraceQuery = [&](int n) {
        if (n == 1) {
            // Typed while the recording waits for its next sweep.
            stopwatch->onRead = [&](double) {
                if (changed) return;
                changed = true;
                QMetaObject::invokeMethod(
                    form.get(),
                    [&] {
                        auto* fileName = child<QLineEdit>("FileName");
                        fileName->selectAll();
                        QTest::keyClicks(fileName, second);
                        QTest::mouseClick(child<QRadioButton>("FileFormat(0)"), Qt::LeftButton);
                        child<QLineEdit>("ASCIISep")->setText(QStringLiteral(";"));
                        child<QComboBox>("RecTrace")->setCurrentIndex(2);
                    },
                    Qt::QueuedConnection);
            };
        }
        if (n == 2) clickLater("imgStop");
    };
    child<QLineEdit>("RecInter")->setText(QStringLiteral("0,5"));
    click("imgStart");
    EXPECT_EQ(form->session()->readingCount(), 2);
    // The first reading went into the first file, the second one follows the new settings.
    EXPECT_EQ(traceFile().count("Section"), 1);
    const QByteArray next = readFile(second);
    EXPECT_EQ(next, QByteArray("Section 2;2010.3.2_9.5.7:40\r\n-50.5;-51; 2.5\r\n"));
    EXPECT_EQ(fakeBus.commands.end()[-2], "TRAC? TRACE3");
}

}  // namespace
}  // namespace marlin

namespace marlin {
namespace {

TEST_F(MainFormRecordingTest, ExitAnsweredWhileStopLetsEventsRunEndsTheProgramSafely) {
    // The close box is seen while STOP lets the pending events run; STOP is still on the stack
    // when the answer ends the program.
    prompts.answers = {QMessageBox::Yes};
    QMetaObject::invokeMethod(
        form.get(), [this] { form->close(); }, Qt::QueuedConnection);
    click("imgStop");
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(programEnds, 1);
    EXPECT_FALSE(form->isVisible());
    ASSERT_TRUE(form->session());
    EXPECT_TRUE(form->session()->stopFlag());
}

}  // namespace
}  // namespace marlin
