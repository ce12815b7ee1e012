// marlin-view: the live trace and waterfall view of a trace file.
#include <marlin/view/ViewWindow.h>

#include <marlin/product.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>
#include <cstring>

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "marlin-view: %s\n", qPrintable(message));
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // A screenshot, the help and the version need no display: Qt's offscreen platform draws the
    // window as it would look, and the platform's remarks are then nobody's business.
    bool windowless = false;
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"--screenshot", "--help", "-h", "-?", "--help-all", "--version", "-v"}) {
            if (std::strcmp(argv[i], option) == 0) windowless = true;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        if (windowless) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
                if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
            });
        } else if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            std::fprintf(stderr,
                         "marlin-view: there is no display to show the window on (neither DISPLAY nor "
                         "WAYLAND_DISPLAY is set).\nTo draw it into a picture instead: marlin-view --screenshot OUT.png FILE\n");
            return 2;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("marlin-view"));
    QApplication::setApplicationVersion(QStringLiteral(MARLIN_VERSION_TEXT));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows a trace file of the Marlin recorder: the newest reading (or the one you pick) over the\n"
        "frequency axis, with max hold, min hold and average, and a waterfall of the whole recording.\n"
        "A file that is still being recorded is followed: each new reading shows as it is written.\n"
        "Keys: Left/Right step through readings, Home the first, End the newest. Wheel zooms the\n"
        "frequency axis (Shift+wheel the level axis), dragging pans, a double click shows everything.\n"
        "Exit status: 0 done; 2 wrong arguments, no display, or a file that cannot be read or written."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Draw the window for FILE into OUT.png without a display, then exit."),
                                        QStringLiteral("OUT.png"));
    const QCommandLineOption size(QStringLiteral("size"),
                                  QStringLiteral("Window size for --screenshot (default 1100x760)."), QStringLiteral("WxH"),
                                  QStringLiteral("1100x760"));
    const QCommandLineOption position(QStringLiteral("position"),
                                      QStringLiteral("Place the window's top-left corner here on the screen (such as 330,0\n"
                                                     "beside the recorder's window)."),
                                      QStringLiteral("X,Y"));
    parser.addOption(screenshot);
    parser.addOption(size);
    parser.addOption(position);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The trace file (*.sft) to show."), QStringLiteral("[FILE]"));
    parser.process(app);

    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) return fail(QStringLiteral("give one trace file, not %1; see marlin-view --help").arg(files.size()));

    if (parser.isSet(screenshot)) {
        const auto match = QRegularExpression(QStringLiteral("^(\\d{2,5})x(\\d{2,5})$")).match(parser.value(size));
        if (!match.hasMatch()) {
            return fail(QStringLiteral("--size takes WIDTHxHEIGHT in pixels, such as 1100x760, not \"%1\"").arg(parser.value(size)));
        }
        if (files.isEmpty()) return fail(QStringLiteral("--screenshot needs the trace file to draw; see marlin-view --help"));
        if (!QFileInfo(files.first()).isFile()) {
            return fail(QStringLiteral("\"%1\" is not a file; give the path of a trace file").arg(files.first()));
        }
        marlin::view::ViewWindow window(marlin::view::ViewWindow::Options{.rememberFiles = false});
        window.resize(match.captured(1).toInt(), match.captured(2).toInt());
        window.openFile(files.first());
        if (!window.waitLoaded(120000)) return fail(QStringLiteral("reading \"%1\" took too long").arg(files.first()));
        window.show();
        if (!window.exportView(parser.value(screenshot))) {
            return fail(QStringLiteral("\"%1\" could not be written; choose a folder you may write to").arg(parser.value(screenshot)));
        }
        return 0;
    }

    marlin::view::ViewWindow window;
    if (parser.isSet(position)) {
        const auto at = QRegularExpression(QStringLiteral("^(-?\\d{1,5}),(-?\\d{1,5})$")).match(parser.value(position));
        if (!at.hasMatch()) return fail(QStringLiteral("--position takes X,Y in pixels, such as 330,0, not \"%1\"").arg(parser.value(position)));
        window.move(at.captured(1).toInt(), at.captured(2).toInt());
    }
    window.show();
    if (!files.isEmpty()) window.openFile(files.first());
    return app.exec();
}
