#pragma once
// The recorder's main window: a strip with the connection indicator, the status text and five
// picture buttons, the countdown bar to the next sweep below it, and the options panel with the
// recording and file settings. The panel opens and closes by changing the window height.

#include "TwipsScale.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace marlin {

class PictureButton;
class UserPrompts;

class MainForm : public QWidget {
    Q_OBJECT

public:
    // Window heights in twips, frame included.
    static constexpr int kStripHeight = 1220;
    static constexpr int kStripAndBarHeight = 1500;
    static constexpr int kOptionsHeight = 4395;
    static constexpr int kClientWidth = 4545;
    // Room the heights above leave for the window frame (caption bar and borders).
    static constexpr int kFrameAllowance = 360;

    struct Services {
        UserPrompts* prompts = nullptr;  // required
        // Ends the program after the exit question was answered Yes.
        std::function<void()> endProgram;
        // Creates the About window (owned by the main window from then on).
        std::function<QWidget*(QWidget*)> createAbout;
    };

    explicit MainForm(Services services, QWidget* parent = nullptr);
    ~MainForm() override;

    // The load sequence; the caller shows the window afterwards.
    void Form_Load();

    void ShowOptions_Click();
    void FileSel_Click();
    void ExitIt_Click();
    void About_Click();
    // The exit question; true when the window may close.
    bool Form_QueryUnload();

    // What the recording sees of the window.
    void setWindowHeightTwips(int twips);
    int windowHeightTwips() const { return m_heightTwips; }
    void setStatusText(const QString& text);
    void setConnected(bool connected);
    void setProgressValue(int percent);
    void setProgressVisible(bool visible);
    void setBusy(bool busy);
    void setStartEnabled(bool enabled);
    void closeOptions();
    static void letEventsRun();

    const TwipsScale& scale() const { return m_scale; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    QLabel* addLabel(QWidget* parent, const char* name, const QString& text, QRect twips);
    QLineEdit* addTextBox(QWidget* parent, const char* name, QRect twips, const QString& tooltip);
    PictureButton* addPictureButton(const char* pictureName, const char* labelName, const QString& text,
                                    QRect pictureTwips, QRect labelTwips, bool wide);
    void finishExit();

    Services m_services;
    TwipsScale m_scale;
    int m_heightTwips = kStripHeight;
    bool m_closing = false;

    QLabel* m_logo = nullptr;
    QLabel* m_connect = nullptr;
    QLabel* m_status = nullptr;
    PictureButton* m_start = nullptr;
    PictureButton* m_stop = nullptr;
    PictureButton* m_exit = nullptr;
    PictureButton* m_options = nullptr;
    PictureButton* m_about = nullptr;
    QWidget* m_progressBar = nullptr;
    QGroupBox* m_frame2 = nullptr;
    QGroupBox* m_frame1 = nullptr;
    QLineEdit* m_ipAdr = nullptr;
    QLineEdit* m_recInter = nullptr;
    QComboBox* m_recTrace = nullptr;
    QLineEdit* m_fileName = nullptr;
    QPushButton* m_fileSel = nullptr;
    QRadioButton* m_formatAscii = nullptr;
    QRadioButton* m_formatBinary = nullptr;
    QLineEdit* m_asciiSep = nullptr;
    QPointer<QWidget> m_aboutWindow;
};

}  // namespace marlin
