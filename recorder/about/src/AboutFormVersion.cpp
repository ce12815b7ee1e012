#include <marlin/about/AboutFormVersion.h>

#include <marlin/diag/ErrorTrap.h>
#include <marlin/diag/RootDebug.h>

#include <marlin/product.h>

#include <QCoreApplication>
#include <QFileInfo>

namespace marlin::QZStandard {

ProgramVersion currentProgramVersion() {
    return {MARLIN_VERSION_MAJOR, MARLIN_VERSION_MINOR, MARLIN_VERSION_PATCH};
}

ProgramVersionBlock currentVersionBlock() {
    ProgramVersionBlock block;
    block.productName = QStringLiteral(MARLIN_PRODUCT_NAME);
    block.comments = QStringLiteral("Records spectrum-analyzer traces over the network");
    block.legalCopyright = QStringLiteral("(C) " MARLIN_MAKER_NAME);
    return block;
}

QString programFilePath() {
    return QCoreApplication::applicationFilePath();
}

QDateTime fileLastWriteTime(const QString& path) {
    QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) return {};
    return info.lastModified();
}

QString GetAboutFormVersion(const ProgramVersion& version, const QString& programFile,
                            marlin::RootDebug& log) {
    marlin::ErrorTrap trap(log, "QZStandard", "GetAboutFormVersion");
    QString text =
        QStringLiteral("version %1.%2.%3").arg(version.major).arg(version.minor).arg(version.revision);
    QDateTime written;
    const bool dated = trap.Run([&] {
        written = fileLastWriteTime(programFile);
        if (!written.isValid())
            throw marlin::RuntimeErrorException(
                {marlin::kErrFileNotFound, "File not found", MARLIN_PRODUCT_NAME});
    });
    if (!dated) return text;
    text += QStringLiteral("  from ") + written.toString(QStringLiteral("dd.MM.yyyy"));
    if (version.revision != 0) text += QLatin1Char(' ') + written.toString(QStringLiteral("HH:mm:ss"));
    return text;
}

QString GetAboutFormVersion(const ProgramVersion& version, const QString& programFile) {
    return GetAboutFormVersion(version, programFile, marlin::RootDebug::Shared());
}

QString GetAboutFormVersion() {
    return GetAboutFormVersion(currentProgramVersion(), programFilePath());
}

QString versionSuffix(const ProgramVersion& version) {
    return version.revision == 0 ? QString() : QStringLiteral(".%1").arg(version.revision);
}

QString shortVersionText(const ProgramVersion& version) {
    return QStringLiteral("%1.%2").arg(version.major).arg(version.minor) + versionSuffix(version);
}

QString programDateText(const QDateTime& date) {
    if (!date.isValid()) return {};
    const QDate day = date.date();
    return QStringLiteral("%1/%2/%3").arg(day.month()).arg(day.day()).arg(day.year());
}

}  // namespace marlin::QZStandard
