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
    // Clicks a picture button later, from inside the recording loop's event processing.
    void clickLater(const char* pictureName) {
        QMetaObject::invokeMethod(
            form.get(), [this, pictureName] { click(pictureName); }, Qt::QueuedConnection);
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
