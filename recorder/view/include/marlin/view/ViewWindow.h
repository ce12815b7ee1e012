#pragma once
// The view's window: the trace pane over the waterfall, the holds on a tool bar, the file's facts
// in the status bar; File → Open, the last files opened, drag and drop, and export as PNG.

#include <QMainWindow>
#include <QStringList>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QSpinBox;
class QTimer;

namespace marlin::view {

class FollowThread;
class FrequencySpan;
class TracePane;
class ViewModel;
class WaterfallPane;

class ViewWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kRecentFiles = 8;
    // Repaints while readings stream in come at most this often (about 30 a second).
    static constexpr int kRepaintMilliseconds = 33;

    struct Options {
        bool rememberFiles = true;  // keep the last files opened in the user's settings
    };

    explicit ViewWindow(Options options, QWidget* parent = nullptr);
    ViewWindow() : ViewWindow(Options{}) {}
    ~ViewWindow() override;

    void openFile(const QString& path);
    // Until the first pass over the file is done; false when `ms` ran out first.
    bool waitLoaded(int ms);
    // The window as it looks now, at its current size.
    QImage picture();
    bool exportView(const QString& path);

    ViewModel& model() { return *model_; }
    QString statusText() const;

signals:
    // The window has shown a change of the model (for tests that wait for one).
    void refreshed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void buildToolBar();
    void refresh();
    void scheduleRefresh();
    void choose(std::optional<std::uint64_t> reading);
    void askOpen();
    void askExportView();
    void askExportRecording();
    void askLevels();
    void applyHoldWindow();
    void remember(const QString& path);
    void fillRecent();

    Options options_;
    std::unique_ptr<ViewModel> model_;
    FrequencySpan* span_ = nullptr;
    TracePane* trace_ = nullptr;
    WaterfallPane* waterfall_ = nullptr;
    std::unique_ptr<FollowThread> follow_;
    QLabel* status_ = nullptr;
    QMenu* recent_ = nullptr;
    QComboBox* holdOver_ = nullptr;
    QSpinBox* holdCount_ = nullptr;
    QTimer* repaint_ = nullptr;
    QString path_;
    std::uint64_t shownGeneration_ = 0;
};

}  // namespace marlin::view
