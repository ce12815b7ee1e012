#include <marlin/about/SupportReport.h>

namespace marlin::about {

QString SupportReport::fill(const QString& text, int width) {
    if (text.size() >= width) return text;
    return text + QString(width - text.size(), QLatin1Char(' '));
}

QString SupportReport::fitExactly(const QString& text, int width) {
    return fill(text.left(width), width);
}

QString SupportReport::trimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' ')) ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' ')) --last;
    return text.mid(first, last - first);
}

void SupportReport::beginGlobalSetup(const QString& product, const QString& version, const QString& date) {
    text_ = QStringLiteral("*** GLOBAL SETUP ***") + kLineEnd;
    addLine(QStringLiteral("Product:"), product);
    addLine(QStringLiteral("Version:"), version);
    addLine(QStringLiteral("Date:"), date);
}

void SupportReport::addLine(const QString& label, const QString& value) {
    text_ += fill(label, kReportLabelWidth) + value + kLineEnd;
}

void SupportReport::addHeading(const QString& label, const QString& value) {
    text_ += QStringLiteral("***") + trimBlanks(fill(label, kReportLabelWidth) + value).toUpper() +
             QStringLiteral("***") + kLineEnd;
}

void SupportReport::addInfoLine(InfoPane& pane, const QString& label, const QString& value, bool isHeading) {
    InfoRunFormat labelRun;
    InfoRunFormat valueRun;
    valueRun.newParagraph = true;
    if (isHeading) {
        labelRun.bold = true;
        pane.addText(fill(label, kPaneLabelWidth), labelRun);
        pane.addText(value, valueRun);
        addHeading(label, value);
    } else {
        labelRun.italic = true;
        pane.addText(fill(label + QStringLiteral("  "), kPaneLabelWidth), labelRun);
        pane.addText(value, valueRun);
        addLine(label, value);
    }
}

}  // namespace marlin::about
