#include "marlin/view/ViewWindow.h"

#include <marlin/view/FollowThread.h>
#include <marlin/view/PlotFrame.h>
#include <marlin/view/TracePane.h>
#include <marlin/view/ViewModel.h>
#include <marlin/view/WaterfallPane.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace marlin::view {

namespace {
const QString kFileFilter = QStringLiteral("Trace files (*.sft);;All files (*)");
}

ViewWindow::ViewWindow(Options options, QWidget* parent)
    : QMainWindow(parent), options_(options), model_(std::make_unique<ViewModel>()) {
    setWindowTitle(QStringLiteral("marlin-view"));
    setAcceptDrops(true);
    span_ = new FrequencySpan(this);
    auto* split = new QSplitter(Qt::Vertical, this);
    trace_ = new TracePane(*model_, *span_, split);
    waterfall_ = new WaterfallPane(*model_, *span_, split);
    trace_->setFocusPolicy(Qt::ClickFocus);
    waterfall_->setFocusPolicy(Qt::ClickFocus);
    split->addWidget(trace_);
    split->addWidget(waterfall_);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    setCentralWidget(split);
    status_ = new QLabel(this);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(status_, 1);
    connect(waterfall_, &WaterfallPane::readingChosen, this, [this](std::uint64_t r) { choose(r); });

    repaint_ = new QTimer(this);
    repaint_->setSingleShot(true);
    repaint_->setInterval(kRepaintMilliseconds);
    connect(repaint_, &QTimer::timeout, this, &ViewWindow::refresh);

    buildMenus();
    buildToolBar();
    resize(1100, 760);
    refresh();
}

ViewWindow::~ViewWindow() {
    follow_.reset();  // its thread feeds the model: stop it first
}

void ViewWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Open…"), QKeySequence::Open, this, &ViewWindow::askOpen);
    recent_ = file->addMenu(QStringLiteral("Open &recent"));
    fillRecent();
    file->addSeparator();
    file->addAction(QStringLiteral("&Export view as PNG…"), QKeySequence(QStringLiteral("Ctrl+E")), this,
                    &ViewWindow::askExportView);
    file->addAction(QStringLiteral("Export whole &recording as heatmap PNG…"), this, &ViewWindow::askExportRecording);
    file->addSeparator();
    file->addAction(QStringLiteral("&Quit"), QKeySequence::Quit, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addAction(QStringLiteral("Show &everything (zoom out)"), this, [this] {
        span_->reset();
        trace_->setLevelRange(std::nullopt);
    });
    view->addAction(QStringLiteral("Waterfall &level range…"), this, &ViewWindow::askLevels);
    view->addAction(QStringLiteral("Waterfall levels &automatic"), this, [this] {
        model_->setAutomaticLevels();
        scheduleRefresh();
    });
    view->addSeparator();
    view->addAction(QStringLiteral("&Newest reading (End)"), this, [this] { choose(std::nullopt); });
}

void ViewWindow::buildToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("Holds"));
    bar->setMovable(false);
    const auto toggle = [&](const QString& text, void (TracePane::*set)(bool)) {
        auto* box = new QCheckBox(text, bar);
        connect(box, &QCheckBox::toggled, trace_, set);
        bar->addWidget(box);
    };
    toggle(QStringLiteral("Max hold"), &TracePane::setShowMax);
    toggle(QStringLiteral("Min hold"), &TracePane::setShowMin);
    toggle(QStringLiteral("Average"), &TracePane::setShowAverage);
    holdOver_ = new QComboBox(bar);
    holdOver_->addItems({QStringLiteral("over all readings"), QStringLiteral("over the last")});
    holdCount_ = new QSpinBox(bar);
    holdCount_->setRange(2, 100000);
    holdCount_->setValue(10);
    holdCount_->setEnabled(false);
    bar->addWidget(holdOver_);
    bar->addWidget(holdCount_);
    connect(holdOver_, &QComboBox::currentIndexChanged, this, &ViewWindow::applyHoldWindow);
    connect(holdCount_, &QSpinBox::valueChanged, this, &ViewWindow::applyHoldWindow);
}

void ViewWindow::applyHoldWindow() {
    const bool lastN = holdOver_->currentIndex() == 1;
    holdCount_->setEnabled(lastN);
    model_->setHoldWindow(lastN ? static_cast<std::size_t>(holdCount_->value()) : 0);
    if (follow_) follow_->wake();
    scheduleRefresh();
}

void ViewWindow::openFile(const QString& path) {
    follow_.reset();
    path_ = QFileInfo(path).absoluteFilePath();
    setWindowTitle(QStringLiteral("%1 — marlin-view").arg(QFileInfo(path_).fileName()));
    follow_ = std::make_unique<FollowThread>(*model_, path_);
    connect(follow_.get(), &FollowThread::changed, this, &ViewWindow::scheduleRefresh, Qt::QueuedConnection);
    span_->setPoints(0);
    applyHoldWindow();
    remember(path_);
    scheduleRefresh();
}

bool ViewWindow::waitLoaded(int ms) {
    const bool done = follow_ && follow_->waitLoaded(ms);
    refresh();
    return done;
}

void ViewWindow::scheduleRefresh() {
    if (!repaint_->isActive()) repaint_->start();
}

void ViewWindow::refresh() {
    std::uint32_t points = 0;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(model_->mutex());
        points = model_->points();
        generation = model_->generation();
    }
    span_->setPoints(points);
    status_->setText(statusText());
    trace_->update();
    waterfall_->update();
    if (generation != shownGeneration_) {
        shownGeneration_ = generation;
        emit refreshed();
    }
}

QString ViewWindow::statusText() const {
    std::lock_guard lock(model_->mutex());
    QStringList parts;
    for (const auto& line : model_->statusLines()) parts << QString::fromStdString(line);
    return parts.join(QStringLiteral("   |   "));
}

void ViewWindow::choose(std::optional<std::uint64_t> reading) {
    model_->select(reading);
    if (follow_) follow_->wake();
    scheduleRefresh();
}

void ViewWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
            model_->step(-1);
            break;
        case Qt::Key_Right:
            model_->step(1);
            break;
        case Qt::Key_Home:
            model_->select(0);
            break;
        case Qt::Key_End:
            model_->select(std::nullopt);
            break;
        default:
            QMainWindow::keyPressEvent(event);
            return;
    }
    if (follow_) follow_->wake();
    scheduleRefresh();
}

void ViewWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !event->mimeData()->urls().isEmpty() &&
        event->mimeData()->urls().first().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void ViewWindow::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    openFile(urls.first().toLocalFile());
    event->acceptProposedAction();
}

void ViewWindow::askOpen() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open a trace file"),
                                                      path_.isEmpty() ? QDir::currentPath() : QFileInfo(path_).path(),
                                                      kFileFilter);
    if (!path.isEmpty()) openFile(path);
}

QImage ViewWindow::picture() {
    refresh();
    return grab().toImage();
}

bool ViewWindow::exportView(const QString& path) {
    return picture().save(path, "PNG");
}

void ViewWindow::askExportView() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export the view as PNG"),
                                                      QFileInfo(path_).completeBaseName() + QStringLiteral(".png"),
                                                      QStringLiteral("PNG pictures (*.png)"));
    if (path.isEmpty()) return;
    if (!exportView(path)) {
        QMessageBox::warning(this, QStringLiteral("Export"),
                             QStringLiteral("\"%1\" could not be written. Choose a folder you may write to.").arg(path));
    }
}

void ViewWindow::askExportRecording() {
    if (path_.isEmpty()) return;
    const QString out = QFileDialog::getSaveFileName(this, QStringLiteral("Export the recording as a heatmap"),
                                                     QFileInfo(path_).completeBaseName() + QStringLiteral("-heatmap.png"),
                                                     QStringLiteral("PNG pictures (*.png)"));
    if (out.isEmpty()) return;
    // The same picture as marlin-cli's export, made by marlin-cli itself beside this program.
    const QString cli = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("marlin-cli"));
    QStringList args{QStringLiteral("export"), path_, QStringLiteral("--format"), QStringLiteral("png"),
                     QStringLiteral("--output"), out, QStringLiteral("--overwrite"), QStringLiteral("--quiet")};
    {
        std::lock_guard lock(model_->mutex());
        if (!model_->levels().automatic()) {
            args << QStringLiteral("--levels")
                 << QStringLiteral("%1:%2").arg(model_->levels().low()).arg(model_->levels().high());
        }
    }
    auto* process = new QProcess(this);
    connect(process, &QProcess::finished, this, [this, process, out](int code, QProcess::ExitStatus) {
        statusBar()->showMessage(code == 0 ? QStringLiteral("Heatmap written to %1").arg(out)
                                           : QStringLiteral("marlin-cli export failed: %1")
                                                 .arg(QString::fromLocal8Bit(process->readAllStandardError()).trimmed()),
                                 8000);
        process->deleteLater();
    });
    connect(process, &QProcess::errorOccurred, this, [this, cli](QProcess::ProcessError) {
        statusBar()->showMessage(QStringLiteral("%1 could not be started; build it (scripts/build.sh).").arg(cli), 8000);
    });
    process->start(cli, args);
}

void ViewWindow::askLevels() {
    double low = 0.0, high = 0.0;
    {
        std::lock_guard lock(model_->mutex());
        low = model_->levels().low();
        high = model_->levels().high();
    }
    bool ok = false;
    const double newLow = QInputDialog::getDouble(this, QStringLiteral("Waterfall levels"),
                                                  QStringLiteral("Lowest level (darkest colour):"), low, -1e9, 1e9, 2, &ok);
    if (!ok) return;
    const double newHigh = QInputDialog::getDouble(this, QStringLiteral("Waterfall levels"),
                                                   QStringLiteral("Highest level (lightest colour):"),
                                                   std::max(high, newLow + 1.0), newLow, 1e9, 2, &ok);
    if (!ok) return;
    model_->setLevels(newLow, newHigh);
    scheduleRefresh();
}

void ViewWindow::remember(const QString& path) {
    if (!options_.rememberFiles) return;
    QSettings settings(QStringLiteral("Marlin"), QStringLiteral("marlin-view"));
    QStringList files = settings.value(QStringLiteral("recentFiles")).toStringList();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFiles) files.removeLast();
    settings.setValue(QStringLiteral("recentFiles"), files);
    fillRecent();
}

void ViewWindow::fillRecent() {
    recent_->clear();
    const QStringList files = options_.rememberFiles
                                  ? QSettings(QStringLiteral("Marlin"), QStringLiteral("marlin-view"))
                                        .value(QStringLiteral("recentFiles"))
                                        .toStringList()
                                  : QStringList{};
    for (const QString& file : files) recent_->addAction(file, this, [this, file] { openFile(file); });
    recent_->setEnabled(!files.isEmpty());
}

}  // namespace marlin::view
