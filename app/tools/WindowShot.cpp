// Renders the main window into a PNG, as it looks with the options open during a recording,
// for the documentation. Runs without a display: QT_QPA_PLATFORM=offscreen marlin-window-shot out.png

#include "MainForm.h"
#include "QtUserPrompts.h"

#include "marlin/core/QzibBinding.h"
#include "marlin/core/NetworkHostProbe.h"
#include "marlin/core/RecorderSettings.h"

#include <QApplication>
#include <QComboBox>
#include <QPainter>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: marlin-window-shot OUTPUT.png\n");
        return 2;
    }
    marlin::QzibBinding bus;
    marlin::NetworkHostProbe probe;
    marlin::QtUserPrompts prompts;
    marlin::MainForm::Services services;
    services.prompts = &prompts;
    services.bus = &bus;
    services.probe = &probe;
    services.probeLocalInstrument = false;  // a picture needs no instrument
    marlin::MainForm window(std::move(services));
    window.Form_Load();

    // A recording waiting for its next sweep, options open.
    window.findChild<QWidget*>(QStringLiteral("IPAdr"))->setProperty("text", QStringLiteral("127.0.0.1"));
    window.findChild<QWidget*>(QStringLiteral("RecInter"))->setProperty("text", QStringLiteral("2"));
    window.findChild<QWidget*>(QStringLiteral("FileName"))
        ->setProperty("text", QStringLiteral("/home/lab/night-run.sft"));
    window.setConnectionColour(marlin::ConnectionColour::Green);
    window.showStatus("idle.");
    window.setProgressVisible(true);
    window.setProgressValue(62);
    window.show();
    window.ShowOptions_Click();
    QApplication::processEvents();

    const QPixmap picture = window.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "marlin-window-shot: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %dx%d\n", argv[1], picture.width(), picture.height());
    return 0;
}
