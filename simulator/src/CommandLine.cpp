#include "CommandLine.h"

#include <arpa/inet.h>

#include <charconv>
#include <cmath>
#include <optional>
#include <sstream>

#include "Instrument.h"

namespace marlin::sim {
namespace {

template <typename T>
std::optional<T> parseInteger(const std::string& text, T min, T max) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<double> parseSeconds(const std::string& text, double max) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value < 0.0 ||
        value > max)
        return std::nullopt;
    return value;
}

}  // namespace

std::string CommandLine::helpText() {
    std::ostringstream out;
    out << "Usage: analyzer-sim [options]\n"
           "\n"
           "A spectrum analyzer that serves the instrument bus protocol over TCP, for recording\n"
           "without an instrument on the network and for tests. Stop it with Ctrl-C.\n"
           "\n"
           "Network:\n"
           "  --bind ADDR            IPv4 address to listen on (default 127.0.0.1)\n"
           "  --port N               TCP port (default: the \"qzib\" service, else 2525)\n"
           "\n"
           "Instrument:\n"
           "  --points N             points per sweep, 1 to "
        << Instrument::kMaxPoints
        << " (default 501)\n"
           "  --sweep-time SECONDS   time one sweep takes (default 0.005)\n"
           "  --seed N               seed of the noise and of the moving carrier (default 1)\n"
           "  --identity TEXT        reply to *IDN? (default \""
        << Instrument::defaultIdentity()
        << "\")\n"
           "  --inactive LIST        traces that are switched off, e.g. 2,4 (default none)\n"
           "  --max-block BYTES      longest bus block of a reply; longer replies are split\n"
           "                         (default 32768)\n"
           "\n"
           "Faults (counted per opened device):\n"
           "  --close-after N        close the connections instead of sending reply N+1\n"
           "  --stall-after N        send no replies after the first N (commands still run)\n"
           "  --short-block-after N  after N replies, \"#\" blocks carry only half the data\n"
           "                         their header announces\n"
           "  --short-message-after N  after N replies, send one bus block shorter than its\n"
           "                         header says, then close the connections\n"
           "  --wrong-version[=V]    answer the version exchange with V (default 1.0)\n"
           "  --reply-delay SECONDS  hold every reply this long\n"
           "\n"
           "Commands (short or long forms, any letter case, ';' between commands):\n"
           "  *IDN? *RST *CLS *OPC *OPC? *WAI *ESR? *ESE *SRE *STB? *TRG *TST?\n"
           "  SYST:ERR? SYST:ERR:ALL? SYST:ERR:CLE:ALL SYST:DISP:UPD INIT:CONT INIT:IMM ABOR\n"
           "  SWE:TIME SWE:POIN FREQ:CENT FREQ:SPAN FREQ:STAR FREQ:STOP BAND BAND:VID DET\n"
           "  DISP:TRAC<n> DISP:TRAC<n>:MODE DISP:TRAC:Y:RLEV FORM ASC|REAL,32 TRAC? TRACE<n>\n"
           "  MMEM:STOR:TRAC <n>,'<file>' MMEM:DATA? '<file>' MMEM:DATA MMEM:DEL MMEM:CAT?\n"
           "\n"
           "Other:\n"
           "  -v, --verbose          log one line per command\n"
           "  -h, --help             show this help\n"
           "  --version              show the version\n";
    return out.str();
}

CommandLine::Result CommandLine::parse(const std::vector<std::string>& args) {
    Result result;
    SimulatorOptions& o = result.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto fail = [&](const std::string& why) {
            result.error = "analyzer-sim: " + why + "\nTry 'analyzer-sim --help' for the list of options.";
            return result;
        };
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        auto count = [&](std::optional<std::uint32_t>& target) -> bool {
            const std::optional<std::string> v = value();
            if (!v) return false;
            target = parseInteger<std::uint32_t>(*v, 0, 4'000'000'000u);
            return target.has_value();
        };

        if (name == "-h" || name == "--help") {
            result.help = true;
        } else if (name == "--version") {
            result.version = true;
        } else if (name == "-v" || name == "--verbose") {
            o.verbose = true;
        } else if (name == "--bind") {
            const auto v = value();
            in_addr addr{};
            if (!v || ::inet_pton(AF_INET, v->c_str(), &addr) != 1)
                return fail("--bind needs an IPv4 address such as 127.0.0.1");
            o.bindAddress = *v;
        } else if (name == "--port") {
            const auto v = value();
            const auto port = v ? parseInteger<std::uint16_t>(*v, 1, 65535) : std::nullopt;
            if (!port) return fail("--port needs a port number from 1 to 65535");
            o.port = *port;
        } else if (name == "--points") {
            const auto v = value();
            const auto points = v ? parseInteger<std::uint32_t>(*v, 1, Instrument::kMaxPoints) : std::nullopt;
            if (!points)
                return fail("--points needs a whole number from 1 to " +
                            std::to_string(Instrument::kMaxPoints));
            o.instrument.points = *points;
        } else if (name == "--sweep-time") {
            const auto v = value();
            const auto t = v ? parseSeconds(*v, Instrument::kMaxSweepTimeS) : std::nullopt;
            if (!t) return fail("--sweep-time needs a number of seconds from 0 to 16000, such as 0.005");
            o.instrument.sweepTimeS = *t;
        } else if (name == "--seed") {
            const auto v = value();
            const auto seed = v ? parseInteger<std::uint64_t>(*v, 0, UINT64_MAX) : std::nullopt;
            if (!seed) return fail("--seed needs a whole number");
            o.instrument.seed = *seed;
        } else if (name == "--identity") {
            const auto v = value();
            if (!v || v->empty()) return fail("--identity needs a text");
            if (v->find_first_of("\r\n") != std::string::npos) return fail("--identity must be one line");
            o.instrument.identity = *v;
        } else if (name == "--inactive") {
            const auto v = value();
            if (!v) return fail("--inactive needs a list of trace numbers such as 2,4");
            std::istringstream list(*v);
            std::string item;
            while (std::getline(list, item, ',')) {
                const auto trace = parseInteger<int>(item, 1, 4);
                if (!trace)
                    return fail("--inactive takes trace numbers 1 to 4 separated by commas, not '" + *v +
                                "'");
                o.instrument.activeTraces[static_cast<std::size_t>(*trace - 1)] = false;
            }
        } else if (name == "--max-block") {
            const auto v = value();
            const auto bytes = v ? parseInteger<std::uint32_t>(*v, 1, 1u << 30) : std::nullopt;
            if (!bytes) return fail("--max-block needs a number of bytes from 1 to 1073741824");
            o.maxBlockBytes = *bytes;
        } else if (name == "--close-after") {
            if (!count(o.faults.closeAfterReplies)) return fail("--close-after needs a number of replies");
        } else if (name == "--stall-after") {
            if (!count(o.faults.stallAfterReplies)) return fail("--stall-after needs a number of replies");
        } else if (name == "--short-block-after") {
            if (!count(o.faults.shortBlockAfterReplies))
                return fail("--short-block-after needs a number of replies");
        } else if (name == "--short-message-after") {
            if (!count(o.faults.shortMessageAfterReplies))
                return fail("--short-message-after needs a number of replies");
        } else if (name == "--wrong-version") {
            float v = 1.0f;
            if (inlineValue) {
                const auto [end, ec] =
                    std::from_chars(inlineValue->data(), inlineValue->data() + inlineValue->size(), v);
                if (ec != std::errc() || end != inlineValue->data() + inlineValue->size() || v == 2.0f)
                    return fail("--wrong-version=V needs a number other than 2");
            }
            o.faults.versionReply = v;
        } else if (name == "--reply-delay") {
            const auto v = value();
            const auto t = v ? parseSeconds(*v, 3600.0) : std::nullopt;
            if (!t) return fail("--reply-delay needs a number of seconds from 0 to 3600, such as 0.25");
            o.faults.replyDelay = std::chrono::milliseconds(std::llround(*t * 1000.0));
        } else {
            return fail("unknown option '" + args[i] + "'");
        }
        if (inlineValue &&
            (name == "-h" || name == "--help" || name == "--version" || name == "-v" || name == "--verbose"))
            return fail("option '" + name + "' takes no value");
    }
    return result;
}

}  // namespace marlin::sim
