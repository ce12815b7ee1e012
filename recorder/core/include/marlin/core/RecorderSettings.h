#pragma once
// The user settings of the recorder and their settings file: the six of the window's controls,
// and whether sections are synced to the disk.

#include <optional>
#include <string>

namespace marlin {

enum class FileForm { Binary, Ascii };

struct RecorderSettings {
    std::string address = "localhost";  // host name or dotted address, as typed
    std::string interval = "1";         // seconds, as typed ("," or "." as decimal mark)
    int traceIndex = 0;                 // 0-based list position (trace 1..4); -1 when none is selected
    std::string fileName;               // trace file; defaultFileName() when nothing is stored
    FileForm format = FileForm::Binary;
    std::string separator = ",";  // between the values of an ASCII section; any length, also empty
    // Each write reaches the storage device before the recorder reports it. Unset: on for
    // intervals of 1 s or more (where it costs nothing), off for faster recording (where it
    // would cost readings).
    std::optional<bool> sync;
    // A reading that fails because the instrument is gone (connection closed, stalled, block cut
    // off) does not end the recording: the instrument is opened again and the readings go on
    // into the same file. Off unless chosen.
    bool reconnect = false;
    // Seconds without a good reading after which a reconnecting recording ends; unset: the default.
    std::optional<double> giveUpAfter;
    static constexpr double kDefaultGiveUpSeconds = 3600;

    double giveUpSeconds() const { return giveUpAfter.value_or(kDefaultGiveUpSeconds); }
    // Whether a recording at `intervalSeconds` syncs its writes.
    bool syncsAt(double intervalSeconds) const { return sync.value_or(intervalSeconds >= 1.0); }

    // The trace number as the instrument's commands spell it ("1".."4").
    std::string traceText() const { return std::to_string(traceIndex + 1); }

    // "c:\trace.sft" on Windows; trace.sft in the user's home folder elsewhere.
    static std::string defaultFileName();
    // The settings with every default filled in.
    static RecorderSettings defaults();
};

class SettingsFile {
public:
    static constexpr const char* kFileName = "marlin.ini";

    // The settings file beside the program, or in the user's configuration folder when the
    // program's folder cannot be written (an installed program).
    static std::string defaultPath();

    explicit SettingsFile(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

    // Reads the six keys, the sync and the reconnect choices; each missing key takes its default.
    RecorderSettings load() const;
    // Writes the six keys in their fixed order, then the sync choice and the reconnect choice, each
    // in a section of its own ([SYNC], [RECONNECT]) and only when it was chosen or the file has it
    // already, so the file of a user who never chose stays as it was. False when the file could
    // not be written.
    bool save(const RecorderSettings& settings) const;

private:
    std::string path_;
};

}  // namespace marlin
