#pragma once
// The recorder's main window: a strip with the connection indicator, the status text and five
// picture buttons, the countdown bar to the next sweep below it, and the options panel with the
// recording and file settings. The panel opens and closes by changing the window height.

#include "TwipsScale.h"

#include "marlin/core/SessionWindow.h"
#include <marlin/base/TimeStamp.h>

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class KXprogressBar;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace marlin {

class Bus;
class HostProbe;
class PictureButton;
class RecordingSession;
class SettingsFile;
class Stopwatch;
class UserPrompts;

// The window hosts the recording session: it is the session's SessionWindow, START and STOP
// drive it, and the session's loop keeps the window alive by letting its events run.
class MainForm : public QWidget, public SessionWindow {
    Q_OBJECT

public:
    // Window heights in twips, frame included.
    static constexpr int kStripHeight = 1220;        // the button strip only
    static constexpr int kStripAndBarHeight = 1500;  // the strip and the progress bar
    static constexpr int kOptionsHeight = 4395;      // strip, progress bar and the settings frames
    static constexpr int kClientWidth = 4545;
    // Room the heights above leave for the window frame (caption bar and borders).
    static constexpr int kFrameAllowance = 360;

    struct Services {
        UserPrompts* prompts = nullptr;  // required
        Bus* bus = nullptr;              // required
        HostProbe* probe = nullptr;      // required
        // Read when the window loads and written at every START; null: defaults, never saved.
        const SettingsFile* settingsFile = nullptr;
        // Opens "localhost" when the window loads, as the recorder always has.
        bool probeLocalInstrument = true;
        // The stopwatch of the wait between readings; null: the system's monotonic clock.
        std::function<std::unique_ptr<Stopwatch>()> createStopwatch;
        // Local time for section stamps and proposed file names; null: the clock.
        std::function<TimeStamp()> clock;
        // Ends the program after the exit question was answered Yes.
        std::function<void()> endProgram;
        // Opens the About window, not modal; it is created once and stays loaded. Null: the
        // recorder's About window.
        std::function<QWidget*(QWidget*)> openAbout;
    };

    explicit MainForm(Services services, QWidget* parent = nullptr);
    ~MainForm() override;

    // The load sequence; the caller shows the window afterwards.
    void Form_Load();

    void StartRec_Click();
    void StopRec_Click();
    void ShowOptions_Click();
    void FileSel_Click();
    void ExitIt_Click();
    void About_Click();
    // The exit question; true when the window may close.
    bool Form_QueryUnload();

    // Null before Form_Load.
    RecordingSession* session() const { return m_session.get(); }
    bool isRecording() const;
    // Ends the program without the exit question (the About window's OK in its stand-alone
    // mode): a running recording is stopped first and the reading in hand is written.
    void endWithStop();

    void setWindowHeightTwips(int twips);
    int windowHeightTwips() const { return m_heightTwips; }
    const TwipsScale& scale() const { return m_scale; }

    // SessionWindow
    RecorderSettings currentSettings() override;
    void showIntervalText(const std::string& text) override;
    void showStatus(const std::string& text) override;
    void setConnectionColour(ConnectionColour colour) override;
    void setProgressValue(int percent) override;
    void setProgressVisible(bool visible) override;
    void showRecordingLayout(RecordingLayout layout) override;
    void setBusyPointer(bool busy) override;
    void setStartEnabled(bool enabled) override;
    bool askOverwrite(const std::string& title, const std::string& text) override;
    void showWarning(const std::string& title, const std::string& text) override;
    void letPendingEventsRun(std::chrono::milliseconds maxWait) override;

signals:
    // The status line changed (also to the same text again).
    void statusShown(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    KXprogressBar* createProgressBar();
    QLabel* addLabel(QWidget* parent, const char* name, const QString& text, QRect twips);
    QLineEdit* addTextBox(QWidget* parent, const char* name, QRect twips, const QString& tooltip);
    PictureButton* addPictureButton(const char* pictureName, const char* labelName, const QString& text,
                                    QRect pictureTwips, QRect labelTwips, bool wide);
    void applySettings(const RecorderSettings& settings);
    void endProgram();

    Services m_services;
    TwipsScale m_scale;
    int m_heightTwips = kStripHeight;
    bool m_closing = false;
    // EXIT answered Yes during a recording: the program ends when START has returned.
    bool m_exitPending = false;
    // The settings file's sync choice; no control shows it, START saves it back as it was read.
    std::optional<bool> m_sync;
    // The same for the time a reconnecting recording waits for its instrument.
    std::optional<double> m_giveUpAfter;
    std::unique_ptr<Stopwatch> m_stopwatch;
    std::unique_ptr<RecordingSession> m_session;

    QLabel* m_logo = nullptr;
    QLabel* m_connect = nullptr;
    QLabel* m_status = nullptr;
    PictureButton* m_start = nullptr;
    PictureButton* m_stop = nullptr;
    PictureButton* m_exit = nullptr;
    PictureButton* m_options = nullptr;
    PictureButton* m_about = nullptr;
    KXprogressBar* m_progressBar = nullptr;
    QGroupBox* m_frame2 = nullptr;
    QGroupBox* m_frame1 = nullptr;
    QLineEdit* m_ipAdr = nullptr;
    QLineEdit* m_recInter = nullptr;
    QComboBox* m_recTrace = nullptr;
    QCheckBox* m_reconnect = nullptr;
    QLineEdit* m_fileName = nullptr;
    QPushButton* m_fileSel = nullptr;
    QRadioButton* m_formatAscii = nullptr;
    QRadioButton* m_formatBinary = nullptr;
    QLineEdit* m_asciiSep = nullptr;
    QPointer<QWidget> m_aboutWindow;
};

}  // namespace marlin
