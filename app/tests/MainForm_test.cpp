#include "MainFormFixture.h"

#include <marlin/about/AboutForm.h>
#include "prismbar/KXprogressBar.h"

#include <marlin/product.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace marlin {
namespace {

class MainFormTest : public test::MainFormFixture {
protected:
    MainFormTest() { createForm(); }
};

TEST_F(MainFormTest, CaptionPlaceAndFirstHeight) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Marlin 1.15.1"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral(MARLIN_CAPTION));
    EXPECT_EQ(form->pos(), QPoint(0, 0));
    EXPECT_EQ(form->width(), pixels(4545));
    EXPECT_EQ(form->windowHeightTwips(), 1220);
    EXPECT_EQ(form->height(), pixels(1220 - MainForm::kFrameAllowance));
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(128, 128, 128));
}

TEST_F(MainFormTest, EveryControlAtItsPlaceWithItsTextAndTooltip) {
    struct Expected {
        const char* name;
        QRect twips;
        QString text;
        QString tooltip;
    };
    const std::vector<Expected> labels = {
        {"Connect", {620, 120, 255, 195}, "", "indicates connected (green) or disconnected (red) instrument"},
        {"Status", {960, 120, 1815, 195}, "", "indicates the current status"},
        {"Label(6)", {120, 360, 1335, 195}, "IP address", ""},
        {"Label(1)", {120, 660, 1335, 195}, "record every", ""},
        {"Label(3)", {3000, 720, 195, 195}, "s", ""},
        {"Label(2)", {120, 1080, 1335, 195}, "trace to record", ""},
        {"Label(0)", {180, 300, 795, 195}, "file name", ""},
        {"Label(4)", {180, 660, 915, 195}, "file format", ""},
        {"Label(5)", {180, 960, 1395, 195}, "ASCII separator", ""},
    };
    for (const auto& e : labels) {
        auto* label = child<QLabel>(e.name);
        ASSERT_TRUE(label);
        EXPECT_EQ(label->geometry(), twips(e.twips.x(), e.twips.y(), e.twips.width(), e.twips.height()))
            << e.name;
        EXPECT_EQ(label->text(), e.text) << e.name;
        EXPECT_EQ(label->toolTip(), e.tooltip) << e.name;
    }
    EXPECT_TRUE(child<QLabel>("Label(3)")->font().bold());
    EXPECT_EQ(child<QLabel>("Connect")->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(child<QLabel>("Status")->palette().color(QPalette::Window), QColor(Qt::white));

    auto* logo = child<QLabel>("Logo");
    EXPECT_EQ(logo->geometry(), twips(40, 100, 555, 555));
    EXPECT_EQ(logo->pixmap().size(), QSize(35, 35));

    const std::vector<Expected> boxes = {
        {"IPAdr", {1560, 300, 1335, 285}, "", ""},
        {"RecInter", {1560, 660, 1335, 285}, "", "select the recording interval in seconds"},
        {"FileName", {1680, 240, 2175, 285}, "", "File name to store data into"},
        {"ASCIISep", {1680, 900, 315, 285}, "", "Select separator character"},
    };
    for (const auto& e : boxes) {
        auto* box = child<QLineEdit>(e.name);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->geometry(), twips(e.twips.x(), e.twips.y(), e.twips.width(), e.twips.height()))
            << e.name;
        EXPECT_EQ(box->toolTip(), e.tooltip) << e.name;
    }
    auto* ipAdr = child<QLineEdit>("IPAdr");
    auto* fileName = child<QLineEdit>("FileName");
    EXPECT_EQ(ipAdr->parentWidget(), child<QGroupBox>("Frame2"));
    EXPECT_EQ(fileName->parentWidget(), child<QGroupBox>("Frame1"));

    auto* frame2 = child<QGroupBox>("Frame2");
    EXPECT_EQ(frame2->geometry(), twips(60, 1140, 4455, 1455));
    EXPECT_EQ(frame2->title(), QStringLiteral("recording settings"));
    auto* frame1 = child<QGroupBox>("Frame1");
    EXPECT_EQ(frame1->geometry(), twips(60, 2640, 4455, 1275));
    EXPECT_EQ(frame1->title(), QStringLiteral("file settings"));

    auto* trace = child<QComboBox>("RecTrace");
    EXPECT_EQ(trace->geometry(), twips(1560, 1020, 1035, 315));
    EXPECT_EQ(trace->toolTip(), QStringLiteral("select the trace to be recorded"));
    ASSERT_EQ(trace->count(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(trace->itemText(i), QString::number(i + 1));
    EXPECT_EQ(trace->currentIndex(), 0);

    auto* fileSel = child<QPushButton>("FileSel");
    EXPECT_EQ(fileSel->geometry(), twips(3960, 300, 255, 255));
    EXPECT_EQ(fileSel->text(), QStringLiteral("..."));
    auto* ascii = child<QRadioButton>("FileFormat(0)");
    EXPECT_EQ(ascii->pos(), twips(1680, 660, 795, 195).topLeft());
    EXPECT_EQ(ascii->height(), pixels(195));
    EXPECT_GE(ascii->width(), pixels(795));
    EXPECT_LE(ascii->geometry().right(), child<QRadioButton>("FileFormat(1)")->x());
    EXPECT_EQ(ascii->text(), QStringLiteral("ASCII"));
    EXPECT_EQ(ascii->toolTip(), QStringLiteral("export the trace data as ASCII data"));
    auto* binary = child<QRadioButton>("FileFormat(1)");
    EXPECT_EQ(binary->pos(), twips(2520, 660, 795, 195).topLeft());
    EXPECT_GE(binary->width(), std::max(pixels(795), binary->sizeHint().width()));
    EXPECT_LE(binary->geometry().right(), child<QGroupBox>("Frame1")->width());
    EXPECT_EQ(binary->text(), QStringLiteral("Binary"));
    EXPECT_EQ(binary->toolTip(), QStringLiteral("export the trace data in binary format"));

    // The bar as stored in the window's description, reset to 0 by the load.
    auto* bar = child<KXprogressBar>("KXprogressBar1");
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->geometry(), twips(60, 855, 4425, 255));
    EXPECT_EQ(bar->toolTip(), QStringLiteral("Time to next sweep"));
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(bar->percentage());
    EXPECT_EQ(bar->styling(), KXprogressBar::GreenRed);
    EXPECT_EQ(bar->foreColor(), 0x8000000Fu);
    EXPECT_EQ(bar->percentColor(), 0x80000012u);
    EXPECT_TRUE(bar->isControlEnabled());
    EXPECT_FALSE(bar->skinPicture().isNull());
    EXPECT_FALSE(bar->isVisible());  // shown by recordings with intervals above 1 s
}

TEST_F(MainFormTest, PictureButtonsWithTheirLabelsInside) {
    struct Expected {
        const char* picture;
        const char* label;
        QRect pictureTwips;
        QRect labelTwips;
        QString text;
        QSize pictureSize;
    };
    const std::vector<Expected> buttons = {
        {"imgStart", "lblStart", {2880, 75, 735, 255}, {2970, 120, 555, 195}, "START", {50, 20}},
        {"imgStop", "lblStop", {3720, 75, 735, 255}, {3855, 120, 465, 195}, "STOP", {50, 20}},
        {"imgExit", "lblExit", {600, 420, 615, 255}, {810, 470, 375, 195}, "EXIT", {50, 20}},
        {"imgOptions",
         "lblOptions",
         {1400, 420, 2175, 255},
         {2100, 465, 945, 195},
         "show options",
         {150, 20}},
        {"imgAbout", "lblAbout", {3720, 420, 735, 255}, {3795, 480, 585, 195}, "ABOUT", {50, 20}},
    };
    for (const auto& e : buttons) {
        auto* picture = child<PictureButton>(e.picture);
        ASSERT_TRUE(picture);
        const QRect& p = e.pictureTwips;
        const QRect& l = e.labelTwips;
        EXPECT_EQ(picture->geometry(), twips(p.x(), p.y(), p.width(), p.height())) << e.picture;
        auto* label = child<QLabel>(e.label);
        ASSERT_TRUE(label);
        EXPECT_EQ(label->parentWidget(), picture);
        // The label sits at its place; a text wider than the place widens it about its centre.
        const QRect place = twips(l.x(), l.y(), l.width(), l.height());
        const QRect shown(label->mapTo(form.get(), QPoint(0, 0)), label->size());
        EXPECT_TRUE(shown.contains(place)) << e.label;
        EXPECT_LE(std::abs(shown.center().x() - place.center().x()), 1) << e.label;
        EXPECT_EQ(shown.top(), place.top()) << e.label;
        EXPECT_TRUE(picture->geometry().contains(shown)) << e.label;
        EXPECT_GE(shown.width(), label->fontMetrics().horizontalAdvance(label->text())) << e.label;
        EXPECT_EQ(label->text(), e.text);
        EXPECT_EQ(picture->captionColor(), QColor(Qt::white));
        EXPECT_FALSE(picture->isPressed());
        EXPECT_EQ(picture->currentPicture().size(), e.pictureSize) << e.picture;
    }
}

TEST_F(MainFormTest, OptionsToggleBetweenItsHeights) {
    auto* options = child<QLabel>("lblOptions");
    QTest::mouseClick(options, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(form->windowHeightTwips(), 4395);
    EXPECT_EQ(form->height(), pixels(4395 - MainForm::kFrameAllowance));
    EXPECT_EQ(options->text(), QStringLiteral("hide options"));
    // Both frames fit into the open panel.
    EXPECT_LE(child<QGroupBox>("Frame1")->geometry().bottom(), form->height());

    QTest::mouseClick(child<PictureButton>("imgOptions"), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(form->windowHeightTwips(), 1220);
    EXPECT_EQ(options->text(), QStringLiteral("show options"));
    // The closed strip shows the buttons but not the progress bar row.
    EXPECT_LE(child<PictureButton>("imgAbout")->geometry().bottom(), form->height());
    EXPECT_GE(child<QWidget>("KXprogressBar1")->geometry().top(), form->height());

    // With the bar shown (recording with a long interval) the open panel closes to 1220 all the same.
    form->setWindowHeightTwips(1500);
    EXPECT_LE(child<QWidget>("KXprogressBar1")->geometry().bottom(), form->height());
    form->ShowOptions_Click();
    EXPECT_EQ(form->windowHeightTwips(), 4395);
    form->ShowOptions_Click();
    EXPECT_EQ(form->windowHeightTwips(), 1220);
}

TEST_F(MainFormTest, RecordingLayoutsBecomeTheirHeightsAndCloseTheOptions) {
    auto* options = child<QLabel>("lblOptions");
    form->ShowOptions_Click();
    ASSERT_EQ(options->text(), QStringLiteral("hide options"));
    form->showRecordingLayout(RecordingLayout::WithProgress);
    EXPECT_EQ(form->windowHeightTwips(), 1500);
    EXPECT_EQ(form->height(), pixels(1500 - MainForm::kFrameAllowance));
    EXPECT_EQ(options->text(), QStringLiteral("show options"));
    form->showRecordingLayout(RecordingLayout::Compact);
    EXPECT_EQ(form->windowHeightTwips(), 1220);
    EXPECT_EQ(form->height(), pixels(1220 - MainForm::kFrameAllowance));
}

TEST_F(MainFormTest, PressAndReleaseOnExitLabelSwapsPictureTwiceThenAsks) {
    auto* exitLabel = child<QLabel>("lblExit");
    auto* exitPicture = child<PictureButton>("imgExit");
    prompts.defaultAnswer = QMessageBox::No;
    QTest::mousePress(exitLabel, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(exitPicture->isPressed());
    EXPECT_EQ(exitPicture->captionColor(), QColor(Qt::black));
    EXPECT_TRUE(prompts.messages.empty());
    QTest::mouseRelease(exitLabel, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_FALSE(exitPicture->isPressed());
    EXPECT_EQ(exitPicture->captionColor(), QColor(Qt::white));
    ASSERT_EQ(prompts.messages.size(), 1u);
    const auto& asked = prompts.messages[0];
    EXPECT_EQ(asked.title, QStringLiteral("Exit Marlin"));
    EXPECT_EQ(asked.text, QStringLiteral("Are you sure you want to exit Marlin?"));
    EXPECT_EQ(asked.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(asked.icon, QMessageBox::NoIcon);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(programEnds, 0);
}

TEST_F(MainFormTest, RightClickOnAPictureButtonChangesNothing) {
    prompts.defaultAnswer = QMessageBox::Yes;
    QTest::mouseClick(child<PictureButton>("imgExit"), Qt::RightButton, {}, QPoint(3, 3));
    QTest::mouseClick(child<QLabel>("lblOptions"), Qt::RightButton, {}, QPoint(3, 3));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(form->windowHeightTwips(), 1220);
    EXPECT_EQ(child<QLabel>("lblOptions")->text(), QStringLiteral("show options"));
    EXPECT_EQ(programEnds, 0);
}

TEST_F(MainFormTest, CloseBoxAsksTheSameQuestionAndNoKeepsTheWindow) {
    prompts.defaultAnswer = QMessageBox::No;
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].title, QStringLiteral("Exit Marlin"));
    EXPECT_EQ(programEnds, 0);

    prompts.defaultAnswer = QMessageBox::Yes;
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(programEnds, 1);
}

TEST_F(MainFormTest, ExitAnsweredYesEndsTheProgramOnce) {
    prompts.defaultAnswer = QMessageBox::Yes;
    QTest::mouseClick(child<PictureButton>("imgExit"), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(prompts.messages.size(), 1u);  // closing the window does not ask a second time
    EXPECT_EQ(programEnds, 1);
}

TEST_F(MainFormTest, AboutOpensOneWindowThatStaysLoaded) {
    QTest::mouseClick(child<PictureButton>("imgAbout"), Qt::LeftButton, {}, QPoint(3, 3));
    auto* about = form->findChild<about::AboutForm*>();
    ASSERT_TRUE(about);
    EXPECT_TRUE(about->isVisible());
    EXPECT_TRUE(about->isWindow());
    EXPECT_FALSE(about->isModal());
    EXPECT_TRUE(about->isLoaded());
    // OK hides it; ABOUT brings the same window back.
    about->Close_Click();
    EXPECT_FALSE(about->isVisible());
    QTest::mouseClick(child<QLabel>("lblAbout"), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(form->findChildren<about::AboutForm*>().size(), 1);
    EXPECT_EQ(form->findChild<about::AboutForm*>(), about);
    EXPECT_TRUE(about->isVisible());
    // Nothing of it ends the recorder.
    EXPECT_EQ(programEnds, 0);
    EXPECT_TRUE(prompts.messages.empty());
}

}  // namespace
}  // namespace marlin

namespace marlin {
namespace {

class MainFormLoadTest : public test::MainFormFixture {};

TEST_F(MainFormLoadTest, ProbesTheLocalInstrumentAndShowsDefaultsWithoutSettingsFile) {
    createForm();
    EXPECT_EQ(fakeBus.opened, std::vector<std::string>{"localhost"});
    EXPECT_EQ(fakeBus.commands, std::vector<std::string>{"*IDN?"});
    EXPECT_EQ(child<QLineEdit>("IPAdr")->text(), QStringLiteral("localhost"));
    EXPECT_EQ(child<QLineEdit>("RecInter")->text(), QStringLiteral("1"));
    EXPECT_EQ(child<QComboBox>("RecTrace")->currentText(), QStringLiteral("1"));
    EXPECT_EQ(child<QLineEdit>("FileName")->text().toStdString(), RecorderSettings::defaultFileName());
    EXPECT_TRUE(child<QRadioButton>("FileFormat(1)")->isChecked());
    EXPECT_FALSE(child<QRadioButton>("FileFormat(0)")->isChecked());
    EXPECT_EQ(child<QLineEdit>("ASCIISep")->text(), QStringLiteral(","));
    EXPECT_EQ(statusText(), QString());
    EXPECT_EQ(connectColour(), QColor(255, 0, 0));
    EXPECT_EQ(child<QWidget>("KXprogressBar1")->property("Value").toInt(), 0);
    // Nothing is written before START.
    EXPECT_FALSE(QFile::exists(QString::fromStdString(settingsFile.path())));
}

TEST_F(MainFormLoadTest, ShowsTheStoredSettings) {
    RecorderSettings stored;
    stored.address = "127.0.10.3";
    stored.interval = "2,5";
    stored.traceIndex = 2;
    stored.fileName = path(QStringLiteral("night.sft")).toStdString();
    stored.format = FileForm::Ascii;
    stored.separator = "||";
    ASSERT_TRUE(settingsFile.save(stored));
    probeLocalInstrument = false;
    createForm();
    EXPECT_TRUE(fakeBus.opened.empty());
    EXPECT_EQ(child<QLineEdit>("IPAdr")->text(), QStringLiteral("127.0.10.3"));
    EXPECT_EQ(child<QLineEdit>("RecInter")->text(), QStringLiteral("2,5"));
    EXPECT_EQ(child<QComboBox>("RecTrace")->currentIndex(), 2);
    auto* fileName = child<QLineEdit>("FileName");
    EXPECT_EQ(fileName->text(), path(QStringLiteral("night.sft")));
    EXPECT_EQ(fileName->cursorPosition(), fileName->text().size());
    EXPECT_TRUE(child<QRadioButton>("FileFormat(0)")->isChecked());
    EXPECT_EQ(child<QLineEdit>("ASCIISep")->text(), QStringLiteral("||"));
}

TEST_F(MainFormLoadTest, ReconnectBoxBesideTheTraceListKeepsTheStoredChoice) {
    RecorderSettings stored = RecorderSettings::defaults();
    stored.reconnect = true;
    stored.giveUpAfter = 120;
    ASSERT_TRUE(settingsFile.save(stored));
    createForm();
    auto* box = child<QCheckBox>("Reconnect");
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(box->parentWidget(), child<QGroupBox>("Frame2"));
    EXPECT_EQ(box->geometry(), twips(2760, 1050, 1335, 255));
    EXPECT_LE(box->geometry().right(), child<QGroupBox>("Frame2")->width());
    for (QWidget* other : child<QGroupBox>("Frame2")->findChildren<QWidget*>()) {
        if (other != box && other->parentWidget() == box->parentWidget()) {
            EXPECT_FALSE(other->geometry().intersects(box->geometry())) << other->objectName().toStdString();
        }
    }
    EXPECT_EQ(form->currentSettings().giveUpAfter, 120);  // no control of its own: kept as read
    box->setChecked(false);
    EXPECT_FALSE(form->currentSettings().reconnect);

    // Its status is longer than the status line: the tip shows it whole.
    const std::string waiting = "reconnecting ... attempt 12, 1234 s since the last reading";
    form->showStatus(waiting);
    EXPECT_EQ(child<QLabel>("Status")->toolTip().toStdString(), waiting);
    form->showStatus("idle.");
    EXPECT_EQ(child<QLabel>("Status")->toolTip(), QStringLiteral("indicates the current status"));
}

TEST_F(MainFormLoadTest, SaveDialogProposesTheSuggestedNameAndCancelKeepsItBare) {
    createForm();
    child<QLineEdit>("IPAdr")->setText(QStringLiteral("127.0.0.201"));
    child<QComboBox>("RecTrace")->setCurrentIndex(1);
    child<QLineEdit>("FileName")->setText(path(QStringLiteral("old.sft")));
    prompts.saveAnswer.reset();
    QTest::mouseClick(child<QPushButton>("FileSel"), Qt::LeftButton);
    ASSERT_EQ(prompts.saveDialogs.size(), 1u);
    const auto& dialog = prompts.saveDialogs[0];
    EXPECT_EQ(dialog.title, QStringLiteral("select file to generate"));
    EXPECT_EQ(dialog.filter, QStringLiteral("Reelplay Files (*.sft);;All files (*)"));
    // Shown with its ending, so that the dialog takes no part of the address for one.
    const QString suggested = QStringLiteral("127.0.0.201_trace2@2010-3-2 09_05_07");
    EXPECT_EQ(dialog.proposedPath, path(suggested + QStringLiteral(".sft")));
    auto* fileName = child<QLineEdit>("FileName");
    EXPECT_EQ(fileName->text(), suggested);
    EXPECT_EQ(fileName->cursorPosition(), suggested.size());
}

TEST_F(MainFormLoadTest, SaveDialogChoiceGoesIntoTheFileName) {
    createForm();
    prompts.saveAnswer = path(QStringLiteral("chosen.sft"));
    child<QWidget>("FileSel")->setFocus();
    QTest::mouseClick(child<QPushButton>("FileSel"), Qt::LeftButton);
    EXPECT_EQ(child<QLineEdit>("FileName")->text(),
              QDir::toNativeSeparators(path(QStringLiteral("chosen.sft"))));
    // No question about overwriting here: START asks it.
    EXPECT_TRUE(prompts.messages.empty());
}

}  // namespace
}  // namespace marlin
