#include "MainForm.h"
#include "QtUserPrompts.h"
#include "SignalStop.h"

#include <marlin/about/AboutWindow.h>

#include "marlin/core/QzibBinding.h"
#include "marlin/core/NetworkHostProbe.h"
#include "marlin/core/RecorderSettings.h"

#include <marlin/product.h>

#include <QApplication>
#include <QCommandLineParser>

namespace {

void nameApplication() {
    QCoreApplication::setApplicationName(QStringLiteral(MARLIN_PRODUCT_NAME));
    QCoreApplication::setApplicationVersion(QStringLiteral(MARLIN_VERSION_TEXT));
}

// Asking for the help or the version needs no window: answered before the window toolkit
// looks for a display, so they work over ssh and in scripts.
void answerTextOnlyRequests(int argc, char** argv, QCommandLineParser& parser) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    if (marlin::about::isAboutCommandLine(arguments.mid(1))) return;
    parser.parse(arguments);  // unknown options (the toolkit's own among them) are judged later
    const bool help = parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"));
    if (!help && !parser.isSet(QStringLiteral("version"))) return;
    QCoreApplication core(argc, argv);
    nameApplication();
    if (parser.isSet(QStringLiteral("help-all"))) parser.process(core);  // lists the toolkit's options too
    if (help) parser.showHelp(0);
    parser.showVersion();
}

}  // namespace

int main(int argc, char** argv) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Records spectrum-analyzer traces over the network. Type the instrument's address, pick\n"
        "the trace, the interval and the file under \"show options\", then press START."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption settingsOption(
        QStringList{QStringLiteral("s"), QStringLiteral("settings")},
        // The default is told as a rule, not as this machine's path: the manual page is made from
        // this text.
        QStringLiteral("Settings file to read at start and write at every START (default: marlin.ini "
                       "beside the program, or in the user's configuration folder when that is not "
                       "writable or the program is installed in the system's program folder)."),
        QStringLiteral("INI_PATH"));
    const QCommandLineOption libraryOption(
        QStringLiteral("bus-library"),
        QStringLiteral("The bus library to load instead of the default (also $%1).")
            .arg(QString::fromLatin1(marlin::QzibBinding::kPathVariable)),
        QStringLiteral("PATH"));
    parser.addOption(settingsOption);
    parser.addOption(libraryOption);
    answerTextOnlyRequests(argc, argv, parser);

    QApplication app(argc, argv);
    nameApplication();
    // Only the exit question ends the program, not the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);
    // A command line that asks the About window to describe another program is that window's
    // business; the recorder starts as usual.
    if (marlin::about::isAboutCommandLine(QCoreApplication::arguments().mid(1)))
        parser.parse(QCoreApplication::arguments());
    else
        parser.process(app);

    const marlin::SettingsFile settings(parser.isSet(settingsOption)
                                            ? parser.value(settingsOption).toLocal8Bit().toStdString()
                                            : marlin::SettingsFile::defaultPath());
    marlin::QzibBinding bus(parser.value(libraryOption).toLocal8Bit().toStdString());
    marlin::NetworkHostProbe probe;
    marlin::QtUserPrompts prompts;

    marlin::MainForm::Services services;
    services.prompts = &prompts;
    services.bus = &bus;
    services.probe = &probe;
    services.settingsFile = &settings;
    marlin::MainForm window(std::move(services));
    // OK in the About window's stand-alone mode ends the program the safe way: STOP first.
    marlin::about::setAboutEndProgram([&window] { window.endWithStop(); });
    // So does Ctrl-C (SIGINT) or SIGTERM; a second one ends the program at once.
    const marlin::SignalStop signalStop([&window] { window.endWithStop(); });
    window.Form_Load();
    window.show();
    return app.exec();
}
