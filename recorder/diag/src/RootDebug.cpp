#include <marlin/diag/RootDebug.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <system_error>

#include <marlin/base/ProgramPaths.h>
#include <marlin/product.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace marlin {

namespace {

namespace fs = std::filesystem;

const std::string kIndent(10, ' ');

fs::path ProgramFolder() {
    const std::string folder = ProgramPaths::executableDir();
    std::error_code ec;
    return folder.empty() ? fs::current_path(ec) : fs::path(folder);
}

fs::path UserDataFolder() {
#ifdef _WIN32
    if (const char* local = std::getenv("LOCALAPPDATA"); local && *local) {
        return fs::path(local) / MARLIN_PRODUCT_NAME;
    }
#else
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
        return fs::path(data) / MARLIN_PRODUCT_NAME;
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return fs::path(home) / ".local" / "share" / MARLIN_PRODUCT_NAME;
    }
#endif
    std::error_code ec;
    return fs::temp_directory_path(ec) / MARLIN_PRODUCT_NAME;
}

std::string TrimSpaces(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

void WriteToStandardError(std::string_view line) {
#ifdef _WIN32
    const std::string text(line);
    OutputDebugStringA(text.c_str());
#else
    // Without a debugger output the lines would land among the program's own messages to its
    // user; a developer asks for them.
    const char* wanted = std::getenv(RootDebug::kDebugVariable);
    if (wanted == nullptr || std::string_view(wanted) != "1") return;
    std::cerr << line << '\n' << std::flush;
#endif
}

}  // namespace

RootDebug::RootDebug()
    : fileName_(DefaultFileName()), stack_(kInitialSlots), traceSink_(WriteToStandardError) {
    defaultFileName_ = fileName_;
}

RootDebug::~RootDebug() {
    CloseFileQuietly();
}

RootDebug& RootDebug::Shared() {
    static RootDebug instance;
    return instance;
}

std::string RootDebug::DefaultFileName() {
    return DefaultFileNameIn(ProgramFolder().string());
}

std::string RootDebug::DefaultFileNameIn(const std::string& programFolder) {
    const TimeStamp now = QZStandard::CurrentTimeStamp();
    char name[64];
    std::snprintf(name, sizeof name, "ELOG_%04d_%02d_%02d_%02d_%02d_%02d.log", now.Year, now.Month, now.Day,
                  now.Hour, now.Minute, now.Second);
    const fs::path folder =
        ProgramPaths::isWritableDir(programFolder) ? fs::path(programFolder) : UserDataFolder();
    return (folder / name).string();
}

void RootDebug::SetFileLogEnabled(bool enabled) {
    const Lock lock(mutex_);
    fileLogEnabled_ = enabled;
    MarkLogReady();
}

void RootDebug::SetFileName(const std::string& newName) {
    const Lock lock(mutex_);
    fileName_ = newName;
    MarkLogReady();
}

StackEntry RootDebug::StackEntryAt(std::int32_t index) const {
    const Lock lock(mutex_);
    if (index < 0 || index > stackTop_) {
        throw std::out_of_range("Subscript out of range: no call-stack entry " + std::to_string(index));
    }
    return stack_[static_cast<std::size_t>(index)];
}

std::vector<std::string> RootDebug::StackTexts() const {
    const Lock lock(mutex_);
    std::vector<std::string> texts;
    texts.reserve(static_cast<std::size_t>(stackTop_ + 1));
    for (std::int32_t i = 0; i <= stackTop_; ++i) {
        texts.push_back(FormatStackEntry(stack_[static_cast<std::size_t>(i)]));
    }
    return texts;
}

void RootDebug::Push(const std::string& fileName, const std::string& componentName,
                     const std::string& functionName) {
    const Lock lock(mutex_);
    const std::int32_t top = stackTop_ + 1;
    if (static_cast<std::size_t>(top) >= stack_.size()) {
        stack_.resize(stack_.size() + kGrowthSlots);
    }
    StackEntry& entry = stack_[static_cast<std::size_t>(top)];
    entry = StackEntry{fileName, componentName, functionName, {}, QZStandard::CurrentTimeStamp()};
    stackTop_ = top;
    if (logPushPop_) {
        try {
            WriteLogLine(std::string(static_cast<std::size_t>(top) + 9, ' ') + ">" + FormatStackEntry(entry));
        } catch (...) {
            // A push whose trace line failed did not happen: the caller will not pop it.
            stackTop_ = top - 1;
            throw;
        }
    }
}

void RootDebug::PushInfo(const std::string& text) {
    const Lock lock(mutex_);
    if (stackTop_ >= 0) {
        stack_[static_cast<std::size_t>(stackTop_)].Info = text;
    }
}

void RootDebug::Pop() {
    const Lock lock(mutex_);
    if (stackTop_ < 0) {
        return;
    }
    const std::int32_t removed = stackTop_;
    stackTop_ = removed - 1;
    if (logPushPop_) {
        WriteLogLine(std::string(static_cast<std::size_t>(removed) + 9, ' ') + "<");
    }
}

void RootDebug::LogMessage(std::int32_t level, const std::string& source, const std::string& description,
                           const RuntimeError& error) {
    const std::string stamp = TimeLine();
    Lock lock(mutex_);
    WriteRecord(lock, stamp, level, {}, {}, source, description, error);
}

void RootDebug::LogRuntimeError(const std::string& fileName, const std::string& componentName,
                                const std::string& functionName, const std::string& /*additionalInfos*/,
                                const RuntimeError& error) {
    const std::string stamp = TimeLine();
    Lock lock(mutex_);
    WriteRecord(lock, stamp, kFatal, fileName, componentName, functionName, {}, error);
}

std::string RootDebug::TimeLine() const {
    // Taken before the log is locked: the stamp procedure reports into the shared log.
    return FileTimeStamping() ? QZStandard::GetISOTimeString(QZStandard::CurrentTimeStamp()) : std::string();
}

std::string RootDebug::GetLevelText(std::int32_t levelNum) {
    switch (levelNum) {
        case 0:
            return "Debug";
        case 1:
            return "Info";
        case 2:
            return "Notice";
        case 3:
            return "Warning";
        case 4:
            return "Error";
        case 5:
            return "Critical";
        case 6:
            return "Alert";
        case 7:
            return "Fatal";
        default:
            return "Unknown";
    }
}

int RootDebug::ConnectDebuggerError(DebuggerErrorHandler handler) {
    const Lock lock(mutex_);
    const int connection = nextConnection_++;
    debuggerErrorHandlers_.emplace_back(connection, std::move(handler));
    return connection;
}

void RootDebug::DisconnectDebuggerError(int connection) {
    const Lock lock(mutex_);
    std::erase_if(debuggerErrorHandlers_, [connection](const auto& h) { return h.first == connection; });
}

void RootDebug::SetTraceSink(TraceSink sink) {
    const Lock lock(mutex_);
    traceSink_ = std::move(sink);
}

void RootDebug::SetErrorWindow(ErrorWindow window) {
    const Lock lock(mutex_);
    errorWindow_ = std::move(window);
}

void RootDebug::RaiseDebuggerError(const std::string& message) {
    // A handler may connect or disconnect others while it runs.
    const auto handlers = debuggerErrorHandlers_;
    for (const auto& [connection, handler] : handlers) {
        if (handler) {
            handler(message);
        }
    }
}

void RootDebug::WriteRecord(Lock& lock, const std::string& stamp, std::int32_t level,
                            const std::string& fileName, const std::string& componentName,
                            const std::string& functionName, const std::string& description,
                            const RuntimeError& error) {
    if (!logReady_) {
        RaiseDebuggerError("Could not access debugger file " + fileName_);
        return;
    }
    // Checked before the file is touched, so a refused record leaves no trace at all.
    if (level < 0 || level > kFatal) {
        throw std::invalid_argument("Invalid procedure call or argument: log level " + std::to_string(level));
    }

    ++recordDepth_;
    bool pushed = false;
    try {
        if (!file_ && fileLogEnabled_) {
            OpenFile();
        }
        const std::string marks(static_cast<std::size_t>(level), level >= firstCritic_ ? '*' : '.');
        const std::string marker = std::string(7 - marks.size(), ' ') + marks;

        const bool sameEntry = stackTop_ >= 0 &&
                               stack_[static_cast<std::size_t>(stackTop_)].FileName == fileName &&
                               stack_[static_cast<std::size_t>(stackTop_)].ComponentName == componentName &&
                               stack_[static_cast<std::size_t>(stackTop_)].FunctionName == functionName;
        if (!sameEntry) {
            Push(fileName, componentName, functionName);
            pushed = true;
        }

        WriteLogLine(marker + GetLevelText(level));
        if (!stamp.empty()) {
            WriteLogLine(kIndent + "TIME        : " + stamp);
        }
        if (level == kFatal) {
            // Copied: the stack may grow while the error window runs events.
            const StackEntry top = stack_[static_cast<std::size_t>(stackTop_)];
            WriteLogLine(kIndent + "SOURCE      : " + top.FunctionName);
            WriteLogLine(kIndent + "DESCRIPTION : " + top.ComponentName);
            WriteLogLine(kIndent + "ERROR NUMBER: " + std::to_string(error.Number) + "(" +
                         TrimSpaces(error.Description) + ")");
            WriteLogLine(kIndent + "ERROR SOURCE: " + TrimSpaces(error.Source));
            WriteCallerStack();
            ShowErrorWindow(lock, error);
        } else {
            WriteLogLine(kIndent + "SOURCE      : " + functionName);
            WriteLogLine(kIndent + "DESCRIPTION : " + description);
        }
        if (pushed) {
            pushed = false;
            Pop();
        }
    } catch (...) {
        --recordDepth_;
        if (pushed && stackTop_ >= 0) {
            --stackTop_;
        }
        if (fileSafeLogMode_) {
            CloseFileQuietly();
        }
        throw;
    }
    --recordDepth_;
    if (fileSafeLogMode_ && fileLogEnabled_) {
        CloseFile();
    }
}

void RootDebug::WriteCallerStack() {
    for (std::int32_t i = 0; i <= stackTop_; ++i) {
        WriteLogLine(std::string(24 + static_cast<std::size_t>(i), ' ') + ">" +
                     FormatStackEntry(stack_[static_cast<std::size_t>(i)]));
    }
}

void RootDebug::ShowErrorWindow(Lock& lock, const RuntimeError& error) {
    if (!errorWindow_) {
        return;
    }
    // Copies: the window runs events, and their handlers may use this log again.
    const ErrorWindow window = errorWindow_;
    const std::vector<std::string> callStack = StackTexts();
    // Other threads keep logging while the user reads the window.
    lock.unlock();
    try {
        window(error, callStack);
    } catch (...) {
        lock.lock();
        throw;
    }
    lock.lock();
}

void RootDebug::WriteLogLine(const std::string& text) {
    // The trace sink first: it still sees the line when the disk is full.
    if (debuggerLogEnabled_ && traceSink_) {
        traceSink_(text);
    }
    if (fileLogEnabled_) {
        const bool openedHere = file_ == nullptr;
        if (openedHere) {
            OpenFile();
        }
        const std::string line = text + "\r\n";
        if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0) {
            const int code = errno != 0 ? errno : EIO;
            // What was written before stays in the file; the next line reopens it for appending.
            CloseFileQuietly();
            throw std::system_error(code, std::generic_category(), "Could not write log file " + fileName_);
        }
        if (openedHere && fileSafeLogMode_ && recordDepth_ == 0) {
            CloseFile();
        }
    }
}

void RootDebug::OpenFile() {
    if (fileName_ == defaultFileName_) {
        // The user's data folder may not exist yet on a fresh account.
        std::error_code ec;
        fs::create_directories(fs::path(fileName_).parent_path(), ec);
    }
    errno = 0;
    file_ = std::fopen(fileName_.c_str(), "ab");
    if (!file_) {
        const int code = errno != 0 ? errno : EIO;
        throw std::system_error(code, std::generic_category(), "Could not open log file " + fileName_);
    }
}

void RootDebug::CloseFile() {
    if (!file_) {
        return;
    }
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    if (std::fclose(file) != 0) {
        const int code = errno != 0 ? errno : EIO;
        throw std::system_error(code, std::generic_category(), "Could not close log file " + fileName_);
    }
}

void RootDebug::CloseFileQuietly() noexcept {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

}  // namespace marlin
