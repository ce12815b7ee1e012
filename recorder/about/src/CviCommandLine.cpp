#include <marlin/about/CviCommandLine.h>

namespace marlin::about {

namespace {

const QString kMarker = QStringLiteral("CVI");

QStringList trimmedFields(const QStringList& parts) {
    QStringList fields;
    fields.reserve(parts.size());
    for (const QString& part : parts) fields.append(part.trimmed());
    return fields;
}

}  // namespace

CviCommandLine CviCommandLine::fromText(const QString& commandLine) {
    CviCommandLine result;
    if (!commandLine.startsWith(kMarker)) return result;
    result.active_ = true;

    // CVI, blanks, then the fields in double quotes separated by commas. The
    // opening and closing quotes are dropped and the rest is cut at ",".
    QString rest = commandLine.mid(kMarker.size()).trimmed();
    if (rest.startsWith(QLatin1Char('"'))) rest.remove(0, 1);
    if (rest.endsWith(QLatin1Char('"'))) rest.chop(1);
    rest = rest.trimmed();
    if (!rest.isEmpty()) result.fields_ = trimmedFields(rest.split(QStringLiteral("\",\"")));
    return result;
}

CviCommandLine CviCommandLine::fromArguments(const QStringList& arguments) {
    if (arguments.isEmpty() || !arguments.first().startsWith(kMarker)) return {};

    bool quotesKept = arguments.first() != kMarker;
    for (qsizetype i = 1; i < arguments.size() && !quotesKept; ++i)
        quotesKept = arguments.at(i).contains(QLatin1Char('"'));
    if (quotesKept) return fromText(arguments.join(QLatin1Char(' ')));

    CviCommandLine result;
    result.active_ = true;
    if (arguments.size() == 2) {
        result.fields_ = trimmedFields(arguments.at(1).split(QLatin1Char(',')));
    } else if (arguments.size() > 2) {
        result.fields_ = trimmedFields(arguments.mid(1));
    }
    return result;
}

}  // namespace marlin::about
