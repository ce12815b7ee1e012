#include "MainForm.h"

#include <marlin/about/AboutForm.h>
#include <marlin/about/AboutWindow.h>
#include "PictureButton.h"
#include "ViewLauncher.h"
#include "UserPrompts.h"

#include "marlin/core/Bus.h"
#include "marlin/core/HostProbe.h"
#include "marlin/core/RecorderSettings.h"
#include "marlin/core/RecordingSession.h"
#include "marlin/core/Stopwatch.h"
#include "marlin/core/TraceFile.h"

#include <marlin/product.h>

#include "prismbar/KXprogressBar.h"
#include "prismbar/TextPropertyBag.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

// The pictures live in this static library; bring them in before the first window needs them.
static void initMarlinResources() {
    Q_INIT_RESOURCE(marlin);
}

#include <algorithm>

namespace marlin {

namespace {

const QColor kWindowGrey(128, 128, 128);
const QColor kConnectedGreen(0, 255, 0);
const QColor kDisconnectedRed(255, 0, 0);

const QString kShowOptions = QStringLiteral("show options");
const QString kSaveDialogTitle = QStringLiteral("select file to generate");
const QString kSaveDialogFilter = QStringLiteral("Reelplay Files (*.sft);;All files (*)");
const QString kHideOptions = QStringLiteral("hide options");
const QString kStatusTip = QStringLiteral("indicates the current status");

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

double screenDpi(const QWidget* widget) {
    const QScreen* screen = widget->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

}  // namespace

MainForm::MainForm(Services services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_services(std::move(services)),
      m_scale(screenDpi(this)) {
    initMarlinResources();
    Q_ASSERT(m_services.prompts && m_services.bus && m_services.probe);
    if (!m_services.endProgram) m_services.endProgram = [] { QCoreApplication::quit(); };
    if (!m_services.openAbout)
        m_services.openAbout = [](QWidget* owner) -> QWidget* { return about::showAboutWindow(owner); };
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral(MARLIN_CAPTION));
    QFont small = font();
    small.setPointSizeF(8.25);
    setFont(small);
    setBackground(this, kWindowGrey);
    buildControls();
    setWindowHeightTwips(kStripHeight);
}

MainForm::~MainForm() = default;

QLabel* MainForm::addLabel(QWidget* parent, const char* name, const QString& text, QRect twips) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(m_scale.rect(twips.x(), twips.y(), twips.width(), twips.height()));
    return label;
}

QLineEdit* MainForm::addTextBox(QWidget* parent, const char* name, QRect twips, const QString& tooltip) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(m_scale.rect(twips.x(), twips.y(), twips.width(), twips.height()));
    box->setToolTip(tooltip);
    return box;
}

PictureButton* MainForm::addPictureButton(const char* pictureName, const char* labelName, const QString& text,
                                          QRect pictureTwips, QRect labelTwips, bool wide) {
    const QPixmap up(wide ? QStringLiteral(":/marlin/imageOptActive.png")
                          : QStringLiteral(":/marlin/imageActive.png"));
    const QPixmap down(wide ? QStringLiteral(":/marlin/imageOptClicked.png")
                            : QStringLiteral(":/marlin/imageClicked.png"));
    auto* button = new PictureButton(up, down, this);
    button->setObjectName(QString::fromLatin1(pictureName));
    button->caption()->setObjectName(QString::fromLatin1(labelName));
    button->setGeometry(
        m_scale.rect(pictureTwips.x(), pictureTwips.y(), pictureTwips.width(), pictureTwips.height()));
    // The label's place is given on the window; it lives inside its picture.
    button->setCaptionGeometry(m_scale.rect(labelTwips.x() - pictureTwips.x(),
                                            labelTwips.y() - pictureTwips.y(), labelTwips.width(),
                                            labelTwips.height()));
    button->setCaptionText(text);
    return button;
}

KXprogressBar* MainForm::createProgressBar() {
    // The bar is created from the window's stored description of it, as it was designed.
    QFile stored(QStringLiteral(":/marlin/KXprogressBar1.bag"));
    QString problem;
    if (stored.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const auto bag = prismbar::TextPropertyBag::fromText(QString::fromUtf8(stored.readAll()), &problem);
        if (bag) return new KXprogressBar(*bag, this);
    } else {
        problem = stored.errorString();
    }
    qWarning("KXprogressBar1: stored description unusable (%s); the bar starts as newly placed",
             qPrintable(problem));
    return new KXprogressBar(this);
}

void MainForm::buildControls() {
    m_logo = addLabel(this, "Logo", QString(), {40, 100, 555, 555});
    m_logo->setPixmap(QPixmap(QStringLiteral(":/marlin/logo.png")));
    m_logo->setAlignment(Qt::AlignCenter);

    m_connect = addLabel(this, "Connect", QString(), {620, 120, 255, 195});
    m_connect->setToolTip(QStringLiteral("indicates connected (green) or disconnected (red) instrument"));
    setBackground(m_connect, kDisconnectedRed);

    m_status = addLabel(this, "Status", QString(), {960, 120, 1815, 195});
    m_status->setToolTip(kStatusTip);
    setBackground(m_status, Qt::white);
    {
        QPalette palette = m_status->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        m_status->setPalette(palette);
    }

    m_start = addPictureButton("imgStart", "lblStart", QStringLiteral("START"), {2880, 75, 735, 255},
                               {2970, 120, 555, 195}, false);
    m_stop = addPictureButton("imgStop", "lblStop", QStringLiteral("STOP"), {3720, 75, 735, 255},
                              {3855, 120, 465, 195}, false);
    m_exit = addPictureButton("imgExit", "lblExit", QStringLiteral("EXIT"), {600, 420, 615, 255},
                              {810, 470, 375, 195}, false);
    m_options = addPictureButton("imgOptions", "lblOptions", kShowOptions, {1400, 420, 2175, 255},
                                 {2100, 465, 945, 195}, true);
    m_about = addPictureButton("imgAbout", "lblAbout", QStringLiteral("ABOUT"), {3720, 420, 735, 255},
                               {3795, 480, 585, 195}, false);
    connect(m_start, &PictureButton::clicked, this, &MainForm::StartRec_Click);
    connect(m_stop, &PictureButton::clicked, this, &MainForm::StopRec_Click);
    connect(m_exit, &PictureButton::clicked, this, &MainForm::ExitIt_Click);
    connect(m_options, &PictureButton::clicked, this, &MainForm::ShowOptions_Click);
    connect(m_about, &PictureButton::clicked, this, &MainForm::About_Click);

    m_progressBar = createProgressBar();
    m_progressBar->setObjectName(QStringLiteral("KXprogressBar1"));
    m_progressBar->setGeometry(m_scale.rect(60, 855, 4425, 255));
    m_progressBar->setToolTip(QStringLiteral("Time to next sweep"));
    m_progressBar->setVisible(false);

    m_frame2 = new QGroupBox(QStringLiteral("recording settings"), this);
    m_frame2->setObjectName(QStringLiteral("Frame2"));
    m_frame2->setGeometry(m_scale.rect(60, 1140, 4455, 1455));
    addLabel(m_frame2, "Label(6)", QStringLiteral("IP address"), {120, 360, 1335, 195});
    m_ipAdr = addTextBox(m_frame2, "IPAdr", {1560, 300, 1335, 285}, QString());
    addLabel(m_frame2, "Label(1)", QStringLiteral("record every"), {120, 660, 1335, 195});
    m_recInter = addTextBox(m_frame2, "RecInter", {1560, 660, 1335, 285},
                            QStringLiteral("select the recording interval in seconds"));
    QLabel* seconds = addLabel(m_frame2, "Label(3)", QStringLiteral("s"), {3000, 720, 195, 195});
    QFont bold = seconds->font();
    bold.setBold(true);
    seconds->setFont(bold);
    addLabel(m_frame2, "Label(2)", QStringLiteral("trace to record"), {120, 1080, 1335, 195});
    m_recTrace = new QComboBox(m_frame2);
    m_recTrace->setObjectName(QStringLiteral("RecTrace"));
    m_recTrace->setGeometry(m_scale.rect(1560, 1020, 1035, 315));
    m_recTrace->setToolTip(QStringLiteral("select the trace to be recorded"));
    // Beside the trace list, where the frame has room; the controls of old stay where they were.
    m_reconnect = new QCheckBox(QStringLiteral("reconnect"), m_frame2);
    m_reconnect->setObjectName(QStringLiteral("Reconnect"));
    m_reconnect->setGeometry(m_scale.rect(2760, 1050, 1335, 255));
    m_reconnect->setToolTip(
        QStringLiteral("when the instrument is lost, open it again and go on recording into the same file"));

    m_frame1 = new QGroupBox(QStringLiteral("file settings"), this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setGeometry(m_scale.rect(60, 2640, 4455, 1275));
    addLabel(m_frame1, "Label(0)", QStringLiteral("file name"), {180, 300, 795, 195});
    m_fileName = addTextBox(m_frame1, "FileName", {1680, 240, 2175, 285},
                            QStringLiteral("File name to store data into"));
    m_fileSel = new QPushButton(QStringLiteral("..."), m_frame1);
    m_fileSel->setObjectName(QStringLiteral("FileSel"));
    m_fileSel->setGeometry(m_scale.rect(3960, 300, 255, 255));
    connect(m_fileSel, &QPushButton::clicked, this, &MainForm::FileSel_Click);
    addLabel(m_frame1, "Label(4)", QStringLiteral("file format"), {180, 660, 915, 195});
    m_formatAscii = new QRadioButton(QStringLiteral("ASCII"), m_frame1);
    m_formatAscii->setObjectName(QStringLiteral("FileFormat(0)"));
    m_formatAscii->setGeometry(m_scale.rect(1680, 660, 795, 195));
    m_formatAscii->setToolTip(QStringLiteral("export the trace data as ASCII data"));
    m_formatBinary = new QRadioButton(QStringLiteral("Binary"), m_frame1);
    m_formatBinary->setObjectName(QStringLiteral("FileFormat(1)"));
    m_formatBinary->setGeometry(m_scale.rect(2520, 660, 795, 195));
    m_formatBinary->setToolTip(QStringLiteral("export the trace data in binary format"));
    // An option text wider than its place (fonts differ between systems) is not cut off: the
    // option grows to the right, where the frame has room, up to the next option (a wide
    // fixed-pitch font as the only font would otherwise push "ASCII" over "Binary").
    const auto grow = [](QRadioButton* option, int limit) {
        const int wanted = std::max(option->width(), option->sizeHint().width());
        option->resize(std::max(option->width(), std::min(wanted, limit - option->x())), option->height());
    };
    grow(m_formatAscii, m_formatBinary->x());
    grow(m_formatBinary, m_frame1->width());
    addLabel(m_frame1, "Label(5)", QStringLiteral("ASCII separator"), {180, 960, 1395, 195});
    m_asciiSep =
        addTextBox(m_frame1, "ASCIISep", {1680, 900, 315, 285}, QStringLiteral("Select separator character"));
    // The view of the file being recorded: a shortcut and a context-menu entry, no new control.
    new ViewLauncher(this, m_fileName, m_status);
}

void MainForm::Form_Load() {
    m_stopwatch =
        m_services.createStopwatch ? m_services.createStopwatch() : std::make_unique<SteadyStopwatch>();
    m_session = std::make_unique<RecordingSession>(*this, *m_services.bus, *m_services.probe, *m_stopwatch);
    m_session->setSettingsFile(m_services.settingsFile);
    if (m_services.clock) m_session->setClock(m_services.clock);
    // The first bus call loads the bus library; the answer of a local instrument is not used.
    if (m_services.probeLocalInstrument) m_session->probeLocalInstrument();

    m_recTrace->clear();
    m_recTrace->addItems(
        {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});
    m_recTrace->setCurrentIndex(0);
    move(0, 0);
    setWindowHeightTwips(kStripHeight);
    setProgressValue(0);
    setWindowTitle(QStringLiteral(MARLIN_CAPTION));
    applySettings(m_services.settingsFile ? m_services.settingsFile->load() : RecorderSettings::defaults());
    for (PictureButton* button : {m_stop, m_start, m_options, m_exit, m_about}) button->showUp();
    m_fileName->setCursorPosition(static_cast<int>(m_fileName->text().size()));
}

void MainForm::applySettings(const RecorderSettings& settings) {
    m_ipAdr->setText(QString::fromLocal8Bit(settings.address));
    m_recInter->setText(QString::fromLocal8Bit(settings.interval));
    // A stored position outside the list leaves no trace selected; START then says so.
    m_recTrace->setCurrentIndex(
        settings.traceIndex >= 0 && settings.traceIndex < m_recTrace->count() ? settings.traceIndex : -1);
    m_fileName->setText(QString::fromLocal8Bit(settings.fileName));
    (settings.format == FileForm::Ascii ? m_formatAscii : m_formatBinary)->setChecked(true);
    m_asciiSep->setText(QString::fromLocal8Bit(settings.separator));
    m_sync = settings.sync;
    m_reconnect->setChecked(settings.reconnect);
    m_giveUpAfter = settings.giveUpAfter;
}

bool MainForm::isRecording() const {
    return m_session && m_session->isRunning();
}

void MainForm::StartRec_Click() {
    if (!m_session) return;
    m_session->StartRec_Click();
    if (m_exitPending && !isRecording()) {
        // EXIT was answered Yes during the recording, which has now stopped cleanly.
        m_exitPending = false;
        m_closing = true;
        if (m_aboutWindow) m_aboutWindow->close();
        close();
        endProgram();
    }
}

void MainForm::StopRec_Click() {
    if (m_session) m_session->StopRec_Click();
}

void MainForm::ShowOptions_Click() {
    if (m_options->captionText() == kShowOptions) {
        setWindowHeightTwips(kOptionsHeight);
        m_options->setCaptionText(kHideOptions);
    } else if (m_options->captionText() == kHideOptions) {
        setWindowHeightTwips(kStripHeight);
        m_options->setCaptionText(kShowOptions);
    }
}

void MainForm::FileSel_Click() {
    const TimeStamp now = m_services.clock ? m_services.clock() : TimeStamp::now();
    const QString proposed = QString::fromLocal8Bit(
        TraceFile::suggestedFileName(m_ipAdr->text().toLocal8Bit().toStdString(),
                                     m_recTrace->currentText().toLocal8Bit().toStdString(), now));
    // The dialog opens in the folder of the current file, when there is one.
    const QFileInfo current(m_fileName->text());
    // The name box shows the name with its ending, so that no part of it is taken for one.
    const QString shown = proposed + QStringLiteral(".sft");
    const QString proposedPath = !m_fileName->text().isEmpty() && current.absoluteDir().exists()
                                     ? current.absoluteDir().filePath(shown)
                                     : shown;
    const std::optional<QString> chosen =
        m_services.prompts->saveFileName(this, kSaveDialogTitle, kSaveDialogFilter, proposedPath);
    // A cancelled dialog still hands back its proposed name: the bare name, no folder.
    m_fileName->setText(chosen ? QDir::toNativeSeparators(*chosen) : proposed);
    m_fileName->setCursorPosition(static_cast<int>(m_fileName->text().size()));
}

void MainForm::About_Click() {
    m_aboutWindow = m_services.openAbout(this);
}

void MainForm::ExitIt_Click() {
    // Closing the window asks the exit question; EXIT goes the same way as the close box.
    close();
}

void MainForm::endWithStop() {
    if (m_closing || m_exitPending) return;
    if (m_session && !m_session->stopFlag()) m_session->StopRec_Click();
    if (isRecording()) {
        m_exitPending = true;  // START ends the program when its loop returns
        return;
    }
    m_closing = true;
    if (m_aboutWindow) m_aboutWindow->close();
    close();
    endProgram();
}

bool MainForm::Form_QueryUnload() {
    const auto answer =
        m_services.prompts->message(this, QMessageBox::NoIcon, QStringLiteral("Exit " MARLIN_PRODUCT_NAME),
                                    QStringLiteral("Are you sure you want to exit " MARLIN_PRODUCT_NAME "?"),
                                    QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) return false;
    if (m_session && !m_session->stopFlag()) m_session->StopRec_Click();
    if (isRecording()) {
        // The recording loop is further down this very call stack: let it notice the stop and
        // finish the reading in hand; START ends the program when it returns.
        m_exitPending = true;
        return false;
    }
    return true;
}

void MainForm::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        event->accept();
        return;
    }
    // The window never closes without the exit question.
    if (!Form_QueryUnload()) {
        event->ignore();
        return;
    }
    m_closing = true;
    if (m_aboutWindow) m_aboutWindow->close();
    event->accept();
    endProgram();
}

void MainForm::endProgram() {
    // The session and its stopwatch go with the window: a handler further down the stack (STOP
    // letting events run, say) may still be using them when the exit question is answered.
    m_services.endProgram();
}

void MainForm::setWindowHeightTwips(int twips) {
    m_heightTwips = twips;
    setFixedSize(m_scale.toPixels(kClientWidth), m_scale.toPixels(twips - kFrameAllowance));
}

RecorderSettings MainForm::currentSettings() {
    RecorderSettings settings;
    settings.address = m_ipAdr->text().toLocal8Bit().toStdString();
    settings.interval = m_recInter->text().toLocal8Bit().toStdString();
    settings.traceIndex = m_recTrace->currentIndex();
    settings.fileName = m_fileName->text().toLocal8Bit().toStdString();
    settings.format = m_formatAscii->isChecked() ? FileForm::Ascii : FileForm::Binary;
    settings.separator = m_asciiSep->text().toLocal8Bit().toStdString();
    settings.sync = m_sync;
    settings.reconnect = m_reconnect->isChecked();
    settings.giveUpAfter = m_giveUpAfter;
    return settings;
}

void MainForm::showIntervalText(const std::string& text) {
    m_recInter->setText(QString::fromLocal8Bit(text));
}

void MainForm::showStatus(const std::string& text) {
    m_status->setText(QString::fromLocal8Bit(text));
    // A status longer than its line ("reconnecting ... attempt 3, 12 s since the last reading")
    // can be read in full over it.
    const bool cut = m_status->fontMetrics().horizontalAdvance(m_status->text()) > m_status->contentsRect().width();
    m_status->setToolTip(cut ? m_status->text() : kStatusTip);
    emit statusShown(m_status->text());
}

void MainForm::setConnectionColour(ConnectionColour colour) {
    setBackground(m_connect, colour == ConnectionColour::Green ? kConnectedGreen : kDisconnectedRed);
}

void MainForm::setProgressValue(int percent) {
    m_progressBar->setValue(percent);
}

void MainForm::setProgressVisible(bool visible) {
    m_progressBar->setVisible(visible);
}

void MainForm::showRecordingLayout(RecordingLayout layout) {
    setWindowHeightTwips(layout == RecordingLayout::WithProgress ? kStripAndBarHeight : kStripHeight);
    m_options->setCaptionText(kShowOptions);
}

void MainForm::setBusyPointer(bool busy) {
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void MainForm::setStartEnabled(bool enabled) {
    m_start->setEnabled(enabled);
}

bool MainForm::askOverwrite(const std::string& title, const std::string& text) {
    return m_services.prompts->message(this, QMessageBox::NoIcon, QString::fromLocal8Bit(title),
                                       QString::fromLocal8Bit(text),
                                       QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

void MainForm::showWarning(const std::string& title, const std::string& text) {
    m_services.prompts->message(this, QMessageBox::Warning, QString::fromLocal8Bit(title),
                                QString::fromLocal8Bit(text), QMessageBox::Ok);
}

void MainForm::letPendingEventsRun(std::chrono::milliseconds maxWait) {
    if (maxWait.count() <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    // Sleep in the event dispatcher until something happens (a click on STOP, say) or the
    // timer below fires; either way no processor time is spent while waiting.
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    wakeUp.start(maxWait);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace marlin
