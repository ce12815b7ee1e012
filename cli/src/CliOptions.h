#pragma once
// The command line of marlin-cli.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "marlin/core/RecorderSettings.h"

namespace marlin::cli {

// Exit statuses, documented in --help.
enum ExitStatus : int {
    kExitOk = 0,             // the recording ended by STOP (readings, duration or a signal)
    kExitFileExists = 1,     // the trace file exists and --overwrite was not given; it is untouched
    kExitUsage = 2,          // the command line or a setting is not usable
    kExitNoInstrument = 3,   // no instrument answered at the address
    kExitBusLibrary = 4,     // the bus library could not be loaded or lacks a function
    kExitNotIdentified = 5,  // the instrument does not identify itself as one of the maker's
    kExitInactiveTrace = 6,  // the selected trace is not active on the instrument
    kExitReadingFailed = 7,  // a reading failed (no, short or malformed data)
    kExitFileError = 8,      // the trace file could not be created or written
};

// The longest --duration: 100 years, well inside what the steady clock can add to its time.
inline constexpr double kMaxDurationSeconds = 100.0 * 365.25 * 24 * 3600;

struct CliOptions {
    bool help = false;
    std::optional<std::string> address;
    std::optional<int> trace;  // 1..4
    std::optional<std::string> interval;
    std::optional<std::string> file;
    std::optional<FileForm> format;
    std::optional<std::string> separator;
    std::optional<std::uint64_t> readings;
    std::optional<double> duration;  // seconds
    std::optional<bool> sync;        // --sync / --no-sync; unset: the settings file's choice
    std::optional<bool> reconnect;   // --reconnect / --no-reconnect; unset: the settings file's choice
    std::optional<double> giveUpAfter;  // seconds
    bool overwrite = false;
    std::optional<std::string> settingsPath;
    bool keepSettings = false;  // read the settings file but never write it (a service's configuration)
    bool quiet = false;

    // The settings read from the file with every option given on the command line applied.
    RecorderSettings applyTo(RecorderSettings settings) const;
};

// Parses the arguments after the program name. On failure returns nullopt and sets `error`.
std::optional<CliOptions> parseCommandLine(const std::vector<std::string>& args, std::string& error);

// The text of --help.
std::string usageText();

}  // namespace marlin::cli
