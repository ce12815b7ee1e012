#include "CliOptions.h"

#include <charconv>
#include <cmath>

#include <marlin/product.h>

#include "OptionScanner.h"

namespace marlin::cli {

RecorderSettings CliOptions::applyTo(RecorderSettings s) const {
    if (address) s.address = *address;
    if (trace) s.traceIndex = *trace - 1;
    if (interval) s.interval = *interval;
    if (file) s.fileName = *file;
    if (format) s.format = *format;
    if (separator) s.separator = *separator;
    if (sync) s.sync = *sync;
    if (reconnect) s.reconnect = *reconnect;
    if (giveUpAfter) s.giveUpAfter = *giveUpAfter;
    return s;
}

std::optional<CliOptions> parseCommandLine(const std::vector<std::string>& args, std::string& error) {
    CliOptions o;
    bool haveCommand = false;
    OptionScanner scan(args);
    while (scan.next()) {
        const std::string& arg = scan.name();
        auto take = [&](const std::string& name) {
            std::optional<std::string> value = scan.value();
            if (!value) error = "option " + name + " needs a value";
            return value;
        };
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "record" && !haveCommand) {
            haveCommand = true;
        } else if (arg == "--address") {
            if (!(o.address = take(arg))) return std::nullopt;
        } else if (arg == "--trace") {
            const auto v = take(arg);
            if (!v) return std::nullopt;
            if (*v != "1" && *v != "2" && *v != "3" && *v != "4") {
                error = "--trace must be 1, 2, 3 or 4, not \"" + *v + "\"";
                return std::nullopt;
            }
            o.trace = (*v)[0] - '0';
        } else if (arg == "--interval") {
            if (!(o.interval = take(arg))) return std::nullopt;
        } else if (arg == "--file") {
            if (!(o.file = take(arg))) return std::nullopt;
            if (o.file->empty()) {
                error = "--file needs a file name";
                return std::nullopt;
            }
        } else if (arg == "--format") {
            const auto v = take(arg);
            if (!v) return std::nullopt;
            if (*v == "binary" || *v == "Binary") {
                o.format = FileForm::Binary;
            } else if (*v == "ascii" || *v == "ASCII") {
                o.format = FileForm::Ascii;
            } else {
                error = "--format must be binary or ascii, not \"" + *v + "\"";
                return std::nullopt;
            }
        } else if (arg == "--separator") {
            if (!(o.separator = take(arg))) return std::nullopt;
            if (o.separator->find_first_of("\r\n") != std::string::npos) {
                error = "--separator cannot contain a line end";
                return std::nullopt;
            }
        } else if (arg == "--readings") {
            const auto v = take(arg);
            if (!v) return std::nullopt;
            std::uint64_t k = 0;
            const auto res = std::from_chars(v->data(), v->data() + v->size(), k);
            if (res.ec != std::errc() || res.ptr != v->data() + v->size() || k == 0) {
                error = "--readings must be a whole number of at least 1, not \"" + *v + "\"";
                return std::nullopt;
            }
            o.readings = k;
        } else if (arg == "--duration" || arg == "--give-up-after") {
            const auto v = take(arg);
            if (!v) return std::nullopt;
            double seconds = 0;
            const auto res = std::from_chars(v->data(), v->data() + v->size(), seconds);
            if (res.ec != std::errc() || res.ptr != v->data() + v->size() || !(seconds > 0) ||
                !std::isfinite(seconds)) {
                error = arg + " must be a number of seconds above 0, not \"" + *v + "\"";
                return std::nullopt;
            }
            // The steady clock counts nanoseconds in 64 bits; a longer time would wrap.
            if (seconds > kMaxDurationSeconds) {
                error = arg + " can be at most " + std::to_string(static_cast<long long>(kMaxDurationSeconds)) +
                        " seconds (100 years), not \"" + *v + "\"" +
                        (arg == "--duration" ? "; leave it out to record until stopped" : "");
                return std::nullopt;
            }
            (arg == "--duration" ? o.duration : o.giveUpAfter) = seconds;
        } else if (arg == "--sync" || arg == "--no-sync") {
            if (scan.hasJoinedValue()) {
                error = arg + " takes no value";
                return std::nullopt;
            }
            o.sync = arg == "--sync";
        } else if (arg == "--reconnect" || arg == "--no-reconnect") {
            if (scan.hasJoinedValue()) {
                error = arg + " takes no value";
                return std::nullopt;
            }
            o.reconnect = arg == "--reconnect";
        } else if (arg == "--overwrite") {
            o.overwrite = true;
        } else if (arg == "--settings") {
            if (!(o.settingsPath = take(arg))) return std::nullopt;
        } else if (arg == "--keep-settings") {
            o.keepSettings = true;
        } else if (arg == "--quiet" || arg == "-q") {
            o.quiet = true;
        } else {
            error = "unknown argument \"" + scan.argument() + "\"";
            return std::nullopt;
        }
    }
    if (!haveCommand && !o.help) {
        error = "the command is missing: marlin-cli record [options]";
        return std::nullopt;
    }
    return o;
}

std::string usageText() {
    return std::string(
               "Usage: marlin-cli record [options]\n"
               "\n"
               "Records a trace of a ") +
           MARLIN_MAKER_NAME +
           " spectrum analyzer into a trace file, one section per sweep,\n"
           "the way the " MARLIN_PRODUCT_NAME " window does, without a display. Version " MARLIN_VERSION_TEXT
           ".\n"
           "\n"
           "Options (any option left out takes its value from the settings file):\n"
           "  --address TEXT        host name or IPv4 address of the instrument\n"
           "  --trace 1..4          trace to record\n"
           "  --interval TEXT       seconds between sweeps; \",\" or \".\" as decimal mark;\n"
           "                        0 or text that is no number: back to back\n"
           "  --file PATH           trace file (*.sft)\n"
           "  --format binary|ascii form of the sections\n"
           "  --separator TEXT      text between the values of an ASCII section (any length)\n"
           "  --readings K          stop after K readings\n"
           "  --duration SECONDS    stop after this time (at most 100 years)\n"
           "  --sync                every section is on the disk before the next step, so a\n"
           "                        crash of the machine loses no reading that was reported\n"
           "  --no-sync             leave the writing out to the system (faster back to back)\n"
           "                        Without either: sync for intervals of 1 s or more, not for\n"
           "                        faster recording (or as the settings file says: [SYNC])\n"
           "  --reconnect           a reading that fails because the instrument is gone\n"
           "                        (connection closed, no reply, block cut off) does not end\n"
           "                        the recording: the instrument is opened again, after\n"
           "                        1 s, 2 s, 4 s ... at most 60 s, and the readings go on\n"
           "                        into the same file, numbered on. Each loss and each\n"
           "                        resume is reported on standard error (also with --quiet).\n"
           "                        An instrument that comes back with another identity or\n"
           "                        trace length, or an inactive trace, ends the recording.\n"
           "  --give-up-after SECONDS\n"
           "                        with --reconnect: end the recording (exit status 7) after\n"
           "                        this long without a reading, counted from the last one\n"
           "                        written (default 3600; make it longer than the interval)\n"
           "  --no-reconnect        a failed reading ends the recording (the default, or as\n"
           "                        the settings file says: [RECONNECT])\n"
           "  --overwrite           replace an existing trace file (without it, an existing\n"
           "                        file stops the program and is left untouched)\n"
           "  --settings INI_PATH   settings file (at most 1 MiB) to read and to save the\n"
           "                        six settings to\n"
           "                        (default: marlin.ini beside the program, or in the\n"
           "                        user's configuration folder when that is not writable)\n"
           "  --keep-settings       read the settings file but leave it as it is (for a\n"
           "                        service's configuration, e.g. /etc/marlin/record/NAME.conf)\n"
           "  --quiet, -q           print nothing but errors\n"
           "  --help, -h            show this text\n"
           "\n"
           "Without --readings or --duration the recording runs until SIGINT (Ctrl-C) or\n"
           "SIGTERM. Every way of ending runs STOP: the instrument is returned to continuous\n"
           "sweep and local operation. A second Ctrl-C ends the program at once.\n"
           "\n"
           "The settings are saved to the settings file when the recording starts (not with\n"
           "--keep-settings).\n"
           "The bus library is taken from $MARLIN_QZIB32_LIBRARY when set, else from ../lib\n"
           "beside the program, else from the system's library folders.\n"
           "\n"
           "Exit status:\n"
           "  0  the recording ended by STOP (readings, duration or a signal)\n"
           "  1  the trace file exists and --overwrite was not given (the file is untouched)\n"
           "  2  the command line is wrong, the settings file is too large, or no trace is\n"
           "     selected\n"
           "  3  no instrument found at the address (no echo reply)\n"
           "  4  the bus library could not be loaded or lacks a function\n"
           "  5  the instrument could not be opened, does not answer, or does not identify\n"
           "     itself as a " MARLIN_MAKER_NAME
           " instrument (with --reconnect: as the one the recording\n"
           "     started with)\n"
           "  6  the selected trace is not active on the instrument\n"
           "  7  a reading failed: no, short or malformed data (earlier readings are kept);\n"
           "     with --reconnect: the instrument did not answer again in time, or its trace\n"
           "     length changed\n"
           "  8  the trace file could not be created or written (earlier readings are kept),\n"
           "     or someone else deleted, replaced or shortened it during the recording\n";
}

}  // namespace marlin::cli
