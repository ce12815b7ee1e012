#pragma once

#include <QDateTime>
#include <QString>

namespace marlin {
class RootDebug;
}

// Version texts of the running program as the About window shows them.
namespace marlin::QZStandard {

struct ProgramVersion {
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// The texts of the program's version block.
struct ProgramVersionBlock {
    QString productName;
    QString comments;
    QString legalCopyright;
    // Carries the number of the program's application note, if it has one.
    QString legalTrademarks;
};

// The version of this build (from the product identity).
ProgramVersion currentProgramVersion();
ProgramVersionBlock currentVersionBlock();
// The program file whose date the About window shows.
QString programFilePath();

// "version 1.15.1  from 08.12.2010 13:52:56": the time is shown only when the
// revision is not 0. When the file's date cannot be read the text ends after
// the version number and the failure goes to the diagnostics log (the
// program's shared one unless another is given).
QString GetAboutFormVersion(const ProgramVersion& version, const QString& programFile,
                            marlin::RootDebug& log);
QString GetAboutFormVersion(const ProgramVersion& version, const QString& programFile);
QString GetAboutFormVersion();

// "." + revision, or empty for revision 0.
QString versionSuffix(const ProgramVersion& version);
// major.minor plus the suffix: "1.15" or "1.15.1".
QString shortVersionText(const ProgramVersion& version);
// Month/day/year without leading zeros ("12/8/2010"), empty for an invalid date.
QString programDateText(const QDateTime& date);
// The last-write time of a file, invalid when it cannot be read.
QDateTime fileLastWriteTime(const QString& path);

}  // namespace marlin::QZStandard
