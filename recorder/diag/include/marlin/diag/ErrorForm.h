// The window that reports a runtime error: the program's name, the error's source,
// number and description, the call stack at the moment of the error, a button that
// copies a plain-text support report, and OK. DisplayError waits for OK while the
// program's events keep running; closing the window counts as OK.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include <marlin/diag/RootDebug.h>
#include <marlin/diag/RuntimeError.h>

class QCloseEvent;
class QEventLoop;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;

namespace marlin {

class ErrorForm : public QWidget {
    Q_OBJECT

public:
    // Shows the notice after a copy: parent, caption, text (lines end with CR LF).
    using NoticePresenter = std::function<void(QWidget* parent, const QString& caption, const QString& text)>;

    explicit ErrorForm(QWidget* parent = nullptr);
    ~ErrorForm() override;

    // Shows the error and the call stack (index 0 = outermost procedure) and returns
    // once the user pressed OK or closed the window; the window is then closed.
    void DisplayError(const RuntimeError& EDisc, const std::vector<std::string>& CallStack);

    // The support report of the last DisplayError, lines ending with CR LF.
    const QString& ReportText() const { return reportText_; }
    bool Waiting() const { return waiting_; }

    // Replaces the message box shown after a copy (tests, or a program without one).
    void SetNoticePresenter(NoticePresenter presenter);

    // Makes every runtime-error record of the log open a fresh window of this kind.
    static void InstallAsErrorWindow(RootDebug& log);

    QLabel* Label(int index) const;
    QLabel* Info(int index) const;
    QListWidget* CallerList() const { return callerList_; }
    QPushButton* CopyToClipboard() const { return copyToClipboard_; }
    QPushButton* ButtonOK() const { return buttonOK_; }

    // The texts as set, before the label drew them ("&&" stands for one "&").
    QString LabelText(int index) const;
    QString InfoText(int index) const;

    // "91 = &&H5B": the number in decimal and in hexadecimal, negative numbers in
    // their 32-bit two's-complement form.
    static QString NumberText(std::int32_t number);
    // What a label shows for a text with mnemonic markers: "&&" gives "&", a single
    // "&" is dropped, CR LF becomes a line break.
    static QString DisplayText(const QString& text);

public slots:
    void ButtonOK_Click();
    void CopyToClipboard_Click();

signals:
    // Emitted when DisplayError has filled the window and starts waiting.
    void waitingForOk();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SetLabel(int index, const QString& text);
    void SetInfo(int index, const QString& text);

    std::array<QLabel*, 11> labels_{};
    std::array<QLabel*, 3> infos_{};
    std::array<QString, 11> labelTexts_;
    std::array<QString, 3> infoTexts_;
    QLabel* errirPicture_ = nullptr;
    QListWidget* callerList_ = nullptr;
    QPushButton* copyToClipboard_ = nullptr;
    QPushButton* buttonOK_ = nullptr;
    QFrame* shape_ = nullptr;
    bool waiting_ = false;
    QEventLoop* loop_ = nullptr;
    QString reportText_;
    NoticePresenter notice_;
};

}  // namespace marlin
