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

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral(MARLIN_PRODUCT_NAME));
    QApplication::setApplicationVersion(QStringLiteral(MARLIN_VERSION_TEXT));
    // Only the exit question ends the program, not the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);

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
