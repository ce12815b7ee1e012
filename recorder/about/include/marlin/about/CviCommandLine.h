#pragma once

#include <QString>
#include <QStringList>

namespace marlin::about {

// The command-line mode in which the About window describes another
// application: CVI followed by six fields, name, description, version, user,
// copyright holder and application-note address, for example
//     marlin CVI "Tool","Does things","2.0","Lab","Maker 2010","address"
class CviCommandLine {
public:
    static constexpr int kFieldCount = 6;

    // From the whole command-line text after the program name, quotes intact
    // (as a launcher passes it on, or as one quoted argument).
    static CviCommandLine fromText(const QString& commandLine);
    // From the program's arguments (without the program name). A shell has
    // already removed the quotes, so the example above arrives as CVI and one
    // argument "Tool,Does things,..." that is split at the commas; three or
    // more arguments are taken as one field each.
    static CviCommandLine fromArguments(const QStringList& arguments);

    // The command line asks for the mode (it begins with CVI).
    bool isActive() const { return active_; }
    // All six fields are there; with fewer the window keeps its design texts.
    bool isComplete() const { return fields_.size() >= kFieldCount; }
    const QStringList& fields() const { return fields_; }

    QString applicationName() const { return field(0); }
    QString description() const { return field(1); }
    QString version() const { return field(2); }
    QString user() const { return field(3); }
    QString copyrightHolder() const { return field(4); }
    QString appNoteAddress() const { return field(5); }

private:
    QString field(int index) const { return index < fields_.size() ? fields_.at(index) : QString(); }

    bool active_ = false;
    QStringList fields_;
};

}  // namespace marlin::about
