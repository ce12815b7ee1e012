#include "CliApp.h"

#include <unistd.h>

#include "CliOptions.h"
#include "ConsoleWindow.h"
#include "marlin/base/SignalPipe.h"
#include "TraceCommands.h"
#include "marlin/core/QzibBinding.h"
#include "marlin/core/IniFile.h"
#include "marlin/core/NetworkHostProbe.h"
#include "marlin/core/RecordingSession.h"

namespace marlin::cli {

namespace {

int exitStatusFor(RecordingSession::Outcome outcome) {
    using Outcome = RecordingSession::Outcome;
    switch (outcome) {
        case Outcome::None:
        case Outcome::Running:
        case Outcome::Stopped:
            return kExitOk;
        case Outcome::OverwriteDeclined:
            return kExitFileExists;
        case Outcome::NoTraceSelected:
            return kExitUsage;
        case Outcome::NoInstrument:
            return kExitNoInstrument;
        case Outcome::BusUnavailable:
            return kExitBusLibrary;
        case Outcome::NotIdentified:
            return kExitNotIdentified;
        case Outcome::InactiveTrace:
            return kExitInactiveTrace;
        case Outcome::ReadingFailed:
            return kExitReadingFailed;
        case Outcome::FileError:
            return kExitFileError;
    }
    return kExitUsage;
}

std::string timesText(int count) {
    return count == 1 ? std::string("once") : std::to_string(count) + " times";
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal,
        HostProbe* probe, const RecordingSession::ReconnectSchedule* reconnectSchedule) {
    if (isTraceCommand(args)) return runTraceCommand(args, out, err, ::isatty(STDERR_FILENO) != 0);
    std::string error;
    const auto options = parseCommandLine(args, error);
    if (!options) {
        err << "marlin-cli: " << error << "\nTry 'marlin-cli --help'.\n";
        return kExitUsage;
    }
    if (options->help) {
        out << usageText() << traceCommandsUsage();
        return kExitOk;
    }

    const SettingsFile settingsFile(options->settingsPath.value_or(SettingsFile::defaultPath()));
    if (!IniFile::withinSizeLimit(settingsFile.path())) {
        err << "marlin-cli: the settings file \"" << settingsFile.path() << "\" holds more than "
            << IniFile::kMaxFileSize / (1024 * 1024)
            << " MiB, which no settings file does; it was neither read nor changed. Give --settings "
               "with the path of a settings file.\n";
        return kExitUsage;
    }
    const RecorderSettings settings = options->applyTo(settingsFile.load());
    if (options->giveUpAfter && !settings.reconnect) {
        err << "marlin-cli: --give-up-after applies only to a recording that reconnects; give --reconnect "
               "too.\nTry 'marlin-cli --help'.\n";
        return kExitUsage;
    }

    ConsoleWindow::Limits limits;
    limits.readings = options->readings;
    if (options->duration) {
        limits.duration =
            std::chrono::milliseconds(static_cast<std::int64_t>(*options->duration * 1000.0 + 0.5));
    }
    SignalPipe signals;
    ConsoleWindow window(settings, options->overwrite, options->quiet, terminal, limits, out, err,
                         signals.fd());
    QzibBinding bus;
    NetworkHostProbe networkProbe;
    SteadyStopwatch stopwatch;
    RecordingSession session(window, bus, probe ? *probe : networkProbe, stopwatch);
    if (!options->keepSettings) session.setSettingsFile(&settingsFile);
    if (reconnectSchedule) session.setReconnectSchedule(*reconnectSchedule);
    window.attach(&session);

    session.StartRec_Click();
    window.finish();

    if (!session.settingsSaved()) {
        err << "marlin-cli: warning: the settings could not be saved to \"" << settingsFile.path() << "\".\n";
    }
    const auto outcome = session.outcome();
    switch (outcome) {
        case RecordingSession::Outcome::OverwriteDeclined:
            err << "marlin-cli: the trace file \"" << settings.fileName
                << "\" already exists and was left untouched; give --overwrite to replace it.\n";
            break;
        default:
            break;
    }
    const int status = exitStatusFor(outcome);
    if (status == kExitOk && !options->quiet) {
        out << session.readingCount() << (session.readingCount() == 1 ? " reading" : " readings")
            << " written to " << settings.fileName;
        if (session.connectionDrops() > 0) {
            out << "; connection lost " << timesText(session.connectionDrops()) << ", resumed "
                << timesText(session.connectionResumes());
        }
        out << '\n';
    }
    return status;
}

}  // namespace marlin::cli
