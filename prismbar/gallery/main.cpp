// prismbar-gallery: shows the KXprogressBar control in every style so a person can look at it.

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

#include "GalleryWindow.h"
#include "prismbar/KXprogressBar.h"
#include "prismbar/TextPropertyBag.h"

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("prismbar-gallery"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the Prismbar progress bar in every style, user style, border and appearance, "
                       "with a moving value."));
    parser.addHelpOption();
    const QCommandLineOption bagOption(
        QStringLiteral("bag"),
        QStringLiteral("Also show a bar created from the stored property set in <file>."),
        QStringLiteral("file"));
    const QCommandLineOption valueOption(QStringLiteral("value"),
                                         QStringLiteral("Show <percent> and keep the value still."),
                                         QStringLiteral("percent"));
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"), QStringLiteral("Save a picture of the window to <png> and quit."),
        QStringLiteral("png"));
    parser.addOption(bagOption);
    parser.addOption(valueOption);
    parser.addOption(screenshotOption);

    // Help must work without a display, so it is answered before the window system is opened.
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help") || arg == QLatin1String("-?")) {
            QString help = parser.helpText();
            help.replace(QLatin1String("<executable_name>"), QCoreApplication::applicationName());
            std::fputs(qPrintable(help), stdout);
            return 0;
        }
    }

    QApplication app(argc, argv);
    parser.process(app);

    GalleryWindow window;
    if (parser.isSet(bagOption)) {
        QFile file(parser.value(bagOption));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            std::fprintf(stderr, "prismbar-gallery: cannot read %s: %s\n", qPrintable(file.fileName()),
                         qPrintable(file.errorString()));
            return 1;
        }
        QString error;
        const auto bag = prismbar::TextPropertyBag::fromText(QString::fromUtf8(file.readAll()), &error);
        if (!bag) {
            std::fprintf(stderr,
                         "prismbar-gallery: %s is not a property set (%s); fix the line or save it "
                         "again from a host.\n",
                         qPrintable(file.fileName()), qPrintable(error));
            return 1;
        }
        window.addBar(QStringLiteral("From %1").arg(file.fileName()), new KXprogressBar(*bag));
    }
    if (parser.isSet(valueOption)) {
        bool ok = false;
        const int value = parser.value(valueOption).toInt(&ok);
        if (!ok) {
            std::fprintf(stderr, "prismbar-gallery: --value needs a whole number, e.g. --value 50\n");
            return 1;
        }
        window.setMoving(false);
        window.setValue(value);
    }
    window.show();
    if (parser.isSet(screenshotOption)) {
        const QString path = parser.value(screenshotOption);
        QTimer::singleShot(0, &window, [&window, path] {
            const bool saved = window.grab().save(path, "PNG");
            if (!saved) {
                std::fprintf(stderr, "prismbar-gallery: cannot write %s\n", qPrintable(path));
            }
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
