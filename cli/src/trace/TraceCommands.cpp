#include "TraceCommands.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

#include "ExportSink.h"
#include "OptionScanner.h"
#include "marlin/reader/TraceReader.h"

namespace marlin::cli {

int runExport(const ExportOptions& options, std::ostream& out, std::ostream& err, bool progressTerminal);

namespace {

using reader::TraceReader;

const char* const kExitStatuses =
    "Exit status:\n"
    "  0   the file is sound (info) / every reading was exported (export)\n"
    "  1   OUT exists and --overwrite was not given; it was left untouched\n"
    "  2   the command line is not usable\n"
    "  8   the trace file could not be read, or OUT could not be written\n"
    "  9   the trace file is damaged: everything readable was printed or exported, the rest is named\n"
    "  10  export: no complete reading in the file or in the chosen range\n";

std::string infoUsage() {
    return std::string(
               "Usage: marlin-cli info FILE [--json] [--separator S]\n"
               "Describes a trace file: form, interval, the instrument's settings, points per reading, the\n"
               "complete sections with their first and last time stamp, the count field and any damage.\n"
               "  --json           print the same as one JSON object\n"
               "  --separator S    the separator of ASCII values (normally recognised from the file)\n") +
           kExitStatuses;
}

std::string exportUsage() {
    return std::string(
               "Usage: marlin-cli export FILE --format csv|npy|hdf5|png --output OUT [options]\n"
               "  csv    a header row (section, time, the frequencies) and one row per reading\n"
               "  npy    OUT: readings x points float32; beside it OUT.time.npy (seconds since the epoch)\n"
               "         and OUT.freq.npy (the frequency axis)\n"
               "  hdf5   datasets traces, time, frequency, section; the head as attributes\n"
               "  png    a heatmap: time down, frequency across\n"
               "Options:\n"
               "  --readings FIRST:LAST  sections FIRST to LAST (section numbers, both included; either may\n"
               "                         be left out: ':100', '500:')\n"
               "  --overwrite            replace OUT (and the files beside it) when they exist\n"
               "  --quiet                no progress line and no summary\n"
               "  --separator S          the separator of ASCII values (normally recognised from the file)\n"
               "  --compression deflate|none\n"
               "                         hdf5: the traces compressed with the shuffle and deflate filters\n"
               "                         that every HDF5 reader has (default), or stored as they are: a\n"
               "                         larger file (half as large again for a noise floor), written\n"
               "                         several times faster\n"
               "  --size WxH             png: the largest plot area in pixels (default 1600x1000)\n"
               "  --reduce max|mean      png: how readings or points that share a pixel are combined (mean)\n"
               "  --levels LOW:HIGH      png: the level range of the colour scale (default: the 1st to 99th\n"
               "                         percentile of the values)\n"
               "Time stamps are the recording computer's local time; they are converted to seconds since the\n"
               "epoch with this computer's time zone (set TZ to use another).\n") +
           kExitStatuses;
}

template <typename T>
bool parseNumber(std::string_view text, T& out) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && !text.empty();
}

// "A:B" with either side optional (numbers of type T).
template <typename T>
bool parseRange(const std::string& text, std::optional<T>& low, std::optional<T>& high, bool bothNeeded) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    const std::string a = text.substr(0, colon), b = text.substr(colon + 1);
    T v{};
    if (!a.empty()) {
        if (!parseNumber(a, v)) return false;
        low = v;
    }
    if (!b.empty()) {
        if (!parseNumber(b, v)) return false;
        high = v;
    }
    return !bothNeeded || (low && high);
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    // The file's texts are 8-bit in the recording computer's code page; kept as bytes.
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\u%04x", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string numberText(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[40];
    return std::string(buf, writeShortest(buf, v));
}

struct InfoFacts {
    std::vector<reader::Damage> damages;  // damages and the cut-short or unreadable end
    std::uint64_t damageCount = 0;
    std::optional<bool> countAgrees;  // nullopt: the form does not keep the count
    std::string countNote;
};

InfoFacts factsOf(const TraceReader& r) {
    InfoFacts f;
    f.damages = r.damages();
    f.damageCount = r.damageCount();
    if (const auto tail = r.pendingTail()) {
        f.damages.push_back(*tail);
        ++f.damageCount;
    }
    const auto& head = r.head();
    const auto last = r.lastSection();
    if (head.countField.empty()) {
        f.countNote = "none (the file starts with its first section)";
    } else if (head.countIsPlaceholder && r.form() != reader::FileForm::Binary &&
               r.form() != reader::FileForm::Mixed) {
        f.countNote = r.form() == reader::FileForm::Ascii ? "placeholder (the ASCII form does not keep a count)"
                                                          : "placeholder (no reading was written)";
    } else if (!head.countValue) {
        f.countAgrees = false;
        f.countNote = "unreadable";
    } else if (!last) {
        f.countAgrees = false;
        f.countNote = "says " + std::to_string(*head.countValue) + " but the file has no complete section";
    } else {
        f.countAgrees = static_cast<std::int64_t>(*head.countValue) == last->number;
        f.countNote = std::to_string(*head.countValue) +
                      (*f.countAgrees ? ", agrees with the last section"
                                      : ", disagrees with the last section (" + std::to_string(last->number) + ")");
    }
    return f;
}

// The head fields info shows, in this order, with the keys the instrument uses.
const std::pair<const char*, const char*> kShownFields[] = {
    {"centre", "Center Freq"}, {"span", "Span"}, {"start", "Start"},          {"stop", "Stop"},
    {"ref_level", "Ref Level"}, {"rbw", "RBW"},  {"vbw", "VBW"},              {"sweep_time", "Sweep Time"},
    {"x_unit", "X Unit"},      {"y_unit", "Y Unit"}};

int runInfo(const std::string& file, bool json, const std::optional<std::string>& separator, std::ostream& out,
            std::ostream& err) {
    reader::ReaderOptions options;
    options.separator = separator;
    options.keepIndex = false;
    TraceReader r(file, options);
    if (r.update() == reader::UpdateStatus::Failed) {
        err << "marlin-cli: " << r.error() << "\nCheck the file name and that the file can be read.\n";
        return kTraceFileError;
    }
    const auto& head = r.head();
    const InfoFacts facts = factsOf(r);
    const auto first = r.firstSection(), last = r.lastSection();
    const std::uint64_t count = r.sectionCount();
    std::optional<double> spacing;
    if (first && last && count > 1) {
        spacing = (last->time.epochSeconds() - first->time.epochSeconds()) / static_cast<double>(count - 1);
    }
    const bool damaged = facts.damageCount > 0 || facts.countAgrees == false;

    if (json) {
        out << "{\"file\":" << jsonString(file) << ",\"form\":" << jsonString(reader::formName(r.form()))
            << ",\"head\":" << (head.present ? "true" : "false") << ",\"interval_s\":"
            << (head.intervalSeconds ? numberText(*head.intervalSeconds) : "null");
        for (const auto& [name, key] : kShownFields) {
            const reader::HeadField* f = head.field(key);
            out << ",\"" << name << "\":";
            if (!f) {
                out << "null";
            } else {
                const auto n = head.number(key);
                out << "{\"value\":" << (n ? numberText(*n) : jsonString(f->value))
                    << ",\"unit\":" << jsonString(f->unit) << "}";
            }
        }
        out << ",\"fields\":{";
        for (std::size_t i = 0; i < head.fields.size(); ++i) {
            out << (i ? "," : "") << jsonString(head.fields[i].key) << ":[" << jsonString(head.fields[i].value) << ","
                << jsonString(head.fields[i].unit) << "]";
        }
        out << "},\"points\":" << r.values() << ",\"sections\":" << count;
        auto section = [&](const std::optional<reader::Section>& s) {
            if (!s) return std::string("null");
            return "{\"number\":" + std::to_string(s->number) + ",\"time\":" + jsonString(s->time.isoText()) +
                   ",\"offset\":" + std::to_string(s->offset) + "}";
        };
        out << ",\"first\":" << section(first) << ",\"last\":" << section(last)
            << ",\"mean_spacing_s\":" << (spacing ? numberText(*spacing) : "null")
            << ",\"count_field\":" << (head.countField.empty() ? "null" : jsonString(head.countField))
            << ",\"count_value\":" << (head.countValue ? std::to_string(*head.countValue) : "null")
            << ",\"count_agrees\":" << (facts.countAgrees ? (*facts.countAgrees ? "true" : "false") : "null")
            << ",\"separator\":" << (r.separator() ? jsonString(*r.separator()) : "null")
            << ",\"damage_count\":" << facts.damageCount << ",\"damage\":[";
        for (std::size_t i = 0; i < facts.damages.size(); ++i) {
            const auto& d = facts.damages[i];
            out << (i ? "," : "") << "{\"kind\":" << jsonString(reader::damageName(d.kind))
                << ",\"offset\":" << d.offset << ",\"length\":" << d.length
                << ",\"detail\":" << jsonString(d.detail) << "}";
        }
        out << "],\"sound\":" << (damaged ? "false" : "true") << "}\n";
        return damaged ? kTraceDamaged : kTraceOk;
    }

    auto row = [&](std::string_view label, const std::string& value) {
        out << label << std::string(label.size() < 20 ? 20 - label.size() : 1, ' ') << value << '\n';
    };
    row("File:", file);
    row("Form:", std::string(reader::formName(r.form())));
    row("Head:", head.present ? "present" : "none (the file name was changed during a recording)");
    if (head.intervalSeconds) row("Interval:", numberText(*head.intervalSeconds) + " s");
    for (const auto& [name, key] : kShownFields) {
        if (const reader::HeadField* f = head.field(key)) {
            row(std::string(key) + ":", f->value + (f->unit.empty() ? "" : " " + f->unit));
        }
    }
    row("Points per reading:", r.values() ? std::to_string(r.values()) : "unknown");
    if (r.separator()) row("Separator:", jsonString(*r.separator()));
    row("Complete sections:", std::to_string(count));
    if (first) row("First:", first->time.isoText() + " (section " + std::to_string(first->number) + ")");
    if (last) row("Last:", last->time.isoText() + " (section " + std::to_string(last->number) + ")");
    if (spacing) row("Mean spacing:", numberText(std::round(*spacing * 1000.0) / 1000.0) + " s");
    row("Count field:", (head.countField.empty() ? "" : "\"" + head.countField + "\": ") + facts.countNote);
    if (facts.damageCount == 0) {
        row("Damage:", "none");
    } else {
        row("Damage:", std::to_string(facts.damageCount) + (facts.damageCount == 1 ? " place" : " places"));
        for (const auto& d : facts.damages) {
            out << "  " << reader::damageName(d.kind) << " at offset " << d.offset << " (" << d.length
                << " bytes): " << d.detail << '\n';
        }
        if (facts.damages.size() < facts.damageCount) {
            out << "  ... and " << facts.damageCount - facts.damages.size() << " more\n";
        }
    }
    return damaged ? kTraceDamaged : kTraceOk;
}

int usageError(std::ostream& err, const std::string& command, const std::string& message) {
    err << "marlin-cli " << command << ": " << message << "\nTry 'marlin-cli " << command << " --help'.\n";
    return kTraceUsage;
}

}  // namespace

bool isTraceCommand(const std::vector<std::string>& args) {
    return !args.empty() && (args[0] == "info" || args[0] == "export");
}

int runTraceCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    bool progressTerminal) {
    const std::string command = args.at(0);
    ExportOptions o;
    bool json = false, haveFormat = false, haveOutput = false;
    std::vector<std::string> files;
    OptionScanner scan(args, 1);
    while (scan.next()) {
        const std::string& arg = scan.name();
        std::string value;
        auto take = [&]() {
            const std::optional<std::string> given = scan.value();
            if (given) value = *given;
            return given.has_value();
        };
        const bool forExport = command == "export";
        if (arg == "--help" || arg == "-h") {
            out << (forExport ? exportUsage() : infoUsage());
            return kTraceOk;
        } else if (arg == "--json" && !forExport) {
            json = true;
        } else if (arg == "--separator") {
            if (!take()) return usageError(err, command, "option --separator needs a value");
            o.separator = value;
        } else if (!forExport || arg.rfind("--", 0) != 0) {
            if (arg.rfind("--", 0) == 0) return usageError(err, command, "unknown option " + arg);
            files.push_back(arg);
        } else if (arg == "--overwrite") {
            o.overwrite = true;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--format" || arg == "--output" || arg == "--readings" || arg == "--size" ||
                   arg == "--reduce" || arg == "--levels" || arg == "--compression") {
            if (!take()) return usageError(err, command, "option " + arg + " needs a value");
            if (arg == "--format") {
                haveFormat = true;
                if (value == "csv") o.format = ExportFormat::Csv;
                else if (value == "npy") o.format = ExportFormat::Npy;
                else if (value == "hdf5") o.format = ExportFormat::Hdf5;
                else if (value == "png") o.format = ExportFormat::Png;
                else return usageError(err, command, "--format must be csv, npy, hdf5 or png, not \"" + value + "\"");
            } else if (arg == "--output") {
                haveOutput = !value.empty();
                o.output = value;
            } else if (arg == "--readings") {
                if (!parseRange(value, o.first, o.last, false) || (o.first && o.last && *o.first > *o.last)) {
                    return usageError(err, command, "--readings takes FIRST:LAST section numbers, not \"" + value + "\"");
                }
            } else if (arg == "--size") {
                const auto x = value.find_first_of("xX");
                if (x == std::string::npos || !parseNumber(std::string_view(value).substr(0, x), o.width) ||
                    !parseNumber(std::string_view(value).substr(x + 1), o.height) || o.width < 1 || o.height < 1 ||
                    o.width > 20000 || o.height > 20000) {
                    return usageError(err, command, "--size takes WIDTHxHEIGHT in pixels (1 to 20000), not \"" + value + "\"");
                }
            } else if (arg == "--compression") {
                if (value != "deflate" && value != "none")
                    return usageError(err, command, "--compression must be deflate or none, not \"" + value + "\"");
                o.compress = value == "deflate";
            } else if (arg == "--reduce") {
                if (value != "max" && value != "mean") return usageError(err, command, "--reduce must be max or mean");
                o.reduceMax = value == "max";
            } else {
                std::optional<double> low, high;
                if (!parseRange(value, low, high, true) || !(*low < *high) || !std::isfinite(*low) ||
                    !std::isfinite(*high)) {
                    return usageError(err, command, "--levels takes LOW:HIGH with LOW below HIGH, not \"" + value + "\"");
                }
                o.levels = std::make_pair(*low, *high);
            }
        } else {
            return usageError(err, command, "unknown option " + arg);
        }
    }
    if (files.size() != 1) return usageError(err, command, files.empty() ? "which trace file?" : "give one trace file");
    o.file = files[0];
    if (command == "info") return runInfo(o.file, json, o.separator, out, err);
    if (!haveFormat) return usageError(err, command, "--format is needed (csv, npy, hdf5 or png)");
    if (!haveOutput) return usageError(err, command, "--output is needed");
    return runExport(o, out, err, progressTerminal);
}

std::string traceCommandsUsage() {
    return "\nRecorded files:\n"
           "  marlin-cli info FILE [--json]             describe a trace file and any damage\n"
           "  marlin-cli export FILE --format csv|npy|hdf5|png --output OUT [--readings FIRST:LAST]\n"
           "  'marlin-cli info --help' and 'marlin-cli export --help' give their options and exit statuses.\n";
}

}  // namespace marlin::cli
