#include "marlin/core/RecorderSettings.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "marlin/core/IniFile.h"
#include <marlin/base/ProgramPaths.h>
#include "marlin/core/TextHelpers.h"

namespace marlin {

namespace {
constexpr const char* kSyncSection = "SYNC";
constexpr const char* kReconnectSection = "RECONNECT";
constexpr const char* kGiveUpKey = "GIVEUPAFTER";
}  // namespace

std::string RecorderSettings::defaultFileName() {
#ifdef _WIN32
    return "c:\\trace.sft";
#else
    const auto home = ProgramPaths::homeDir();
    return home.empty() ? std::string("trace.sft") : ProgramPaths::join(home, "trace.sft");
#endif
}

RecorderSettings RecorderSettings::defaults() {
    RecorderSettings s;
    s.fileName = defaultFileName();
    return s;
}

std::string SettingsFile::defaultPath() {
    const auto exeDir = ProgramPaths::executableDir();
#ifdef MARLIN_INSTALL_BINDIR
    // In the system's program folder even an administrator's settings belong to the user.
    const bool installed = exeDir == MARLIN_INSTALL_BINDIR;
#else
    const bool installed = false;
#endif
    if (!exeDir.empty() && !installed && ProgramPaths::isWritableDir(exeDir)) {
        const auto beside = ProgramPaths::join(exeDir, kFileName);
        std::error_code ec;
        if (!std::filesystem::exists(beside, ec)) return beside;
        // An existing file that cannot be written would silently lose every change.
        const auto perms = std::filesystem::status(beside, ec).permissions();
        if (!ec && (perms & std::filesystem::perms::owner_write) != std::filesystem::perms::none)
            return beside;
    }
    const auto configDir = ProgramPaths::userConfigDir();
    if (configDir.empty()) return ProgramPaths::join(exeDir, kFileName);
    std::error_code ec;
    std::filesystem::create_directories(configDir, ec);
    return ProgramPaths::join(configDir, kFileName);
}

RecorderSettings SettingsFile::load() const {
    RecorderSettings s;
    s.address = ReadIniValue(path_, "ADDRESS", "VALUE", "localhost");
    s.interval = ReadIniValue(path_, "INTERVAL", "VALUE", "1");
    const auto trace = ConvertText(ReadIniValue(path_, "TRACES", "NUMBER", "0"), ValueType::Int16);
    // A list position the trace list cannot show falls back to the first trace.
    s.traceIndex = (trace && *trace >= -1 && *trace <= 3) ? static_cast<int>(*trace) : 0;
    s.fileName = ReadIniValue(path_, "FILEPATH", "VALUE", RecorderSettings::defaultFileName());
    s.format =
        ReadIniValue(path_, "FORMAT", "TYPE", "Binary") == "ASCII" ? FileForm::Ascii : FileForm::Binary;
    s.separator = ReadIniValue(path_, "SEPARATOR", "TYPE", ",");
    const std::string sync = upperAscii(ReadIniValue(path_, kSyncSection, "VALUE", ""));
    if (sync == "1" || sync == "TRUE") s.sync = true;
    if (sync == "0" || sync == "FALSE") s.sync = false;
    const std::string reconnect = upperAscii(ReadIniValue(path_, kReconnectSection, "VALUE", "0"));
    s.reconnect = reconnect == "1" || reconnect == "TRUE";
    // A time that is no number of seconds above 0 leaves the default.
    const std::string giveUp = ReadIniValue(path_, kReconnectSection, kGiveUpKey, "");
    if (const double seconds = ParseNumber(giveUp); !giveUp.empty() && seconds > 0 && std::isfinite(seconds))
        s.giveUpAfter = seconds;
    return s;
}

bool SettingsFile::save(const RecorderSettings& s) const {
    bool ok = WriteIniValue(path_, "ADDRESS", "VALUE", std::string_view(s.address));
    ok = WriteIniValue(path_, "INTERVAL", "VALUE", std::string_view(s.interval)) && ok;
    ok = WriteIniValue(path_, "TRACES", "NUMBER", static_cast<long long>(s.traceIndex)) && ok;
    ok = WriteIniValue(path_, "FILEPATH", "VALUE", std::string_view(s.fileName)) && ok;
    ok = WriteIniValue(path_, "FORMAT", "TYPE",
                       std::string_view(s.format == FileForm::Ascii ? "ASCII" : "Binary")) &&
         ok;
    ok = WriteIniValue(path_, "SEPARATOR", "TYPE", std::string_view(s.separator)) && ok;
    if (s.sync) {
        ok = WriteIniFlag(path_, kSyncSection, "VALUE", *s.sync) && ok;
    } else if (!ReadIniValue(path_, kSyncSection, "VALUE", "").empty()) {
        ok = WriteIniValue(path_, kSyncSection, "VALUE", std::string_view("AUTO")) && ok;
    }
    if (s.reconnect || !ReadIniValue(path_, kReconnectSection, "VALUE", "").empty())
        ok = WriteIniFlag(path_, kReconnectSection, "VALUE", s.reconnect) && ok;
    if (s.giveUpAfter) ok = WriteIniValue(path_, kReconnectSection, kGiveUpKey, TrimText(*s.giveUpAfter)) && ok;
    return ok;
}

}  // namespace marlin
