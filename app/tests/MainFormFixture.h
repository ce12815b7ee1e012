#pragma once
// A main window on test doubles: prompts answered by the test, a scripted instrument, a fixed
// clock and files in a temporary folder.

#include "FakeUserPrompts.h"
#include "MainForm.h"
#include "PictureButton.h"

#include "marlin/core/RecorderSettings.h"
#include "marlin/core/RecordingSession.h"
#include "marlin/testing/ExampleTime.h"
#include "marlin/testing/FakeBus.h"
#include "marlin/testing/FakeHostProbe.h"
#include "marlin/testing/FakeStopwatch.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace marlin::test {

class MainFormFixture : public ::testing::Test {
protected:
    MainFormFixture() {
        // Traces of three values, which the files' expected texts spell out.
        fakeBus.trace = {-50.5f, -51.0f, 2.5f};
        fakeBus.exportText =
            "Type;FSX;\r\nVersion;1.0;\r\nCenter Freq;1000000000;Hz\r\nValues;3;\r\n1;-50;\r\n2;-51;\r\n3;2;\r\n";
    }
    // A recording still running is stopped and waited for while the bus it uses (a member of a
    // derived fixture, perhaps) is still there.
    void TearDown() override { form.reset(); }

    // Creates and loads the window; settings written beforehand are read by the load.
    void createForm() {
        MainForm::Services services;
        services.prompts = &prompts;
        services.bus = bus;
        services.probe = &probe;
        services.settingsFile = &settingsFile;
        services.probeLocalInstrument = probeLocalInstrument;
        services.endProgram = [this] { ++programEnds; };
        services.createStopwatch = [this]() -> std::unique_ptr<Stopwatch> {
            auto watch = std::make_unique<testing::FakeStopwatch>(stopwatchStepMs);
            stopwatch = watch.get();
            return watch;
        };
        services.clock = &testing::exampleTime;
        form = std::make_unique<MainForm>(std::move(services));
        form->Form_Load();
        form->show();
    }

    template <typename T>
    T* child(const char* name) const {
        T* found = form->findChild<T*>(QString::fromLatin1(name));
        if (!found) ADD_FAILURE() << "no control " << name;
        return found;
    }
    QRect twips(int l, int t, int w, int h) const { return form->scale().rect(l, t, w, h); }
    int pixels(int t) const { return form->scale().toPixels(t); }
    QString path(const QString& name) const { return dir.filePath(name); }
    static QByteArray readFile(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    void click(const char* pictureName) {
        QTest::mouseClick(child<QWidget>(pictureName), Qt::LeftButton, {}, QPoint(3, 3));
    }
    // Clicks a picture button later, when the window's thread gets to it.
    void clickLater(const char* pictureName) {
        QMetaObject::invokeMethod(
            form.get(), [this, pictureName] { click(pictureName); }, Qt::QueuedConnection);
    }
    // Runs `look` on the window's thread and waits for it. From the recording thread (a bus or
    // stopwatch callback) it sees the window with everything the recording posted before, and
    // what it does (a click) is done before the recording goes on.
    template <typename Look>
    void onWindowThread(Look look) {
        if (QThread::currentThread() == form->thread())
            look();
        else
            QMetaObject::invokeMethod(form.get(), look, Qt::BlockingQueuedConnection);
    }
    void clickNow(const char* pictureName) {
        onWindowThread([this, pictureName] { click(pictureName); });
    }
    // START, then the window's event loop runs (bounded) until the recording has ended.
    ::testing::AssertionResult recordToTheEnd(int boundMs = 30000) {
        click("imgStart");
        if (QTest::qWaitFor([this] { return !form->isRecording(); }, boundMs))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the recording did not end within " << boundMs << " ms";
    }
    QByteArray traceFile() const { return readFile(path(QStringLiteral("trace.sft"))); }
    QString statusText() const { return child<QLabel>("Status")->text(); }
    QColor connectColour() const { return child<QLabel>("Connect")->palette().color(QPalette::Window); }

    QTemporaryDir dir;
    SettingsFile settingsFile{dir.filePath(QStringLiteral("marlin.ini")).toStdString()};
    FakeUserPrompts prompts;
    testing::FakeBus fakeBus;
    Bus* bus = &fakeBus;
    testing::FakeHostProbe probe;
    bool probeLocalInstrument = true;
    double stopwatchStepMs = 250;
    testing::FakeStopwatch* stopwatch = nullptr;
    int programEnds = 0;
    std::unique_ptr<MainForm> form;
};

}  // namespace marlin::test
