// The recorder's diagnostics log: a call stack of named procedures and leveled
// records written to a text file and/or the developer trace sink. A runtime-error
// record also carries the call stack and opens the error report window.
//
// Records are dropped, with the DebuggerError event, until the log is made ready by
// assigning FileLogEnabled or FileName. The log is meant for the user-interface
// thread; a lock keeps it intact when another thread reports into it too (the call
// stack is then shared by both threads, as it is by nested event handlers).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <marlin/diag/RuntimeError.h>
#include <marlin/diag/StackEntry.h>

namespace marlin {

class RootDebug {
public:
    using DebuggerErrorHandler = std::function<void(const std::string& message)>;
    using TraceSink = std::function<void(std::string_view line)>;
    // Shows one runtime error with the call stack (index 0 = outermost procedure)
    // and returns when the user has acknowledged it.
    using ErrorWindow =
        std::function<void(const RuntimeError& error, const std::vector<std::string>& callStack)>;

    static constexpr std::int32_t kFatal = 7;
    static constexpr std::size_t kInitialSlots = 11;
    static constexpr std::size_t kGrowthSlots = 10;

    RootDebug();
    ~RootDebug();
    RootDebug(const RootDebug&) = delete;
    RootDebug& operator=(const RootDebug&) = delete;

    // The program's one log, created on first use.
    static RootDebug& Shared();

    bool FileLogEnabled() const { return Get(fileLogEnabled_); }
    void SetFileLogEnabled(bool enabled);
    std::string FileName() const { return Get(fileName_); }
    // Takes effect at the next opening: an open file keeps receiving lines until it is closed.
    void SetFileName(const std::string& newName);
    bool FileTimeStamping() const { return Get(fileTimeStamping_); }
    void SetFileTimeStamping(bool on) { Set(fileTimeStamping_, on); }
    std::int32_t FileLogLevel() const { return Get(fileLogLevel_); }
    void SetFileLogLevel(std::int32_t level) { Set(fileLogLevel_, level); }
    bool FileSafeLogMode() const { return Get(fileSafeLogMode_); }
    void SetFileSafeLogMode(bool on) { Set(fileSafeLogMode_, on); }
    std::int32_t FirstCritic() const { return Get(firstCritic_); }
    void SetFirstCritic(std::int32_t level) { Set(firstCritic_, level); }
    bool DebuggerLogEnabled() const { return Get(debuggerLogEnabled_); }
    void SetDebuggerLogEnabled(bool enabled) { Set(debuggerLogEnabled_, enabled); }
    bool LogPushPop() const { return Get(logPushPop_); }
    void SetLogPushPop(bool on) { Set(logPushPop_, on); }
    bool ShowRuntimeWindow() const { return Get(showRuntimeWindow_); }
    void SetShowRuntimeWindow(bool on) { Set(showRuntimeWindow_, on); }

    bool LogReady() const { return Get(logReady_); }
    bool LogFileOpen() const { return Get(file_) != nullptr; }
    // Index of the top entry; -1 for an empty stack.
    std::int32_t StackTop() const { return Get(stackTop_); }
    std::size_t StackSlots() const {
        const Lock lock(mutex_);
        return stack_.size();
    }
    StackEntry StackEntryAt(std::int32_t index) const;
    // FormatStackEntry of every entry, outermost first.
    std::vector<std::string> StackTexts() const;

    void Push(const std::string& fileName, const std::string& componentName, const std::string& functionName);
    // Attaches text to the top entry, replacing earlier text; nothing on an empty stack.
    void PushInfo(const std::string& text);
    // Always removes the top entry, even when its trace line cannot be written.
    void Pop();

    // Level 0 (Debug) to 7 (Fatal); other levels throw std::invalid_argument.
    // A level-7 record reports `error` (an empty error by default).
    void LogMessage(std::int32_t level, const std::string& source, const std::string& description,
                    const RuntimeError& error = {});
    // A level-7 record for `error`, raised in the named procedure. additionalInfos is
    // accepted for callers that pass it and is not written.
    void LogRuntimeError(const std::string& fileName, const std::string& componentName,
                         const std::string& functionName, const std::string& additionalInfos,
                         const RuntimeError& error);

    static std::string GetLevelText(std::int32_t levelNum);

    // The DebuggerError event: a record was asked for while the log is not ready.
    int ConnectDebuggerError(DebuggerErrorHandler handler);
    void DisconnectDebuggerError(int connection);

    // Where lines go when DebuggerLogEnabled. Unless replaced: the debugger output on Windows,
    // elsewhere standard error while the environment variable MARLIN_DEBUG is "1".
    static constexpr const char* kDebugVariable = "MARLIN_DEBUG";
    void SetTraceSink(TraceSink sink);
    // The window of runtime-error records; without one the record is only written.
    void SetErrorWindow(ErrorWindow window);

    // The log file name a new instance starts with: ELOG_yyyy_mm_dd_hh_nn_ss.log in
    // the program's folder, or in the user's data folder when that one is not writable.
    static std::string DefaultFileName();
    // The same for a program in the given folder.
    static std::string DefaultFileNameIn(const std::string& programFolder);

private:
    using Lock = std::unique_lock<std::recursive_mutex>;

    template <typename T>
    T Get(const T& field) const {
        const Lock lock(mutex_);
        return field;
    }
    template <typename T>
    void Set(T& field, const T& value) {
        const Lock lock(mutex_);
        field = value;
    }

    void MarkLogReady() { logReady_ = true; }
    std::string TimeLine() const;
    void WriteRecord(Lock& lock, const std::string& stamp, std::int32_t level, const std::string& fileName,
                     const std::string& componentName, const std::string& functionName,
                     const std::string& description, const RuntimeError& error);
    void WriteCallerStack();
    void ShowErrorWindow(Lock& lock, const RuntimeError& error);
    void WriteLogLine(const std::string& text);
    void OpenFile();
    void CloseFile();
    void CloseFileQuietly() noexcept;
    void RaiseDebuggerError(const std::string& message);

    // Recursive: trace sinks and event handlers may call back into the log.
    mutable std::recursive_mutex mutex_;
    std::FILE* file_ = nullptr;
    bool logReady_ = false;
    std::int32_t stackTop_ = -1;
    bool fileLogEnabled_ = false;
    std::string fileName_;
    std::string defaultFileName_;
    std::int32_t fileLogLevel_ = 7;
    bool fileTimeStamping_ = false;
    bool fileSafeLogMode_ = true;
    bool debuggerLogEnabled_ = false;
    std::int32_t firstCritic_ = 4;
    bool logPushPop_ = false;
    bool showRuntimeWindow_ = true;
    std::vector<StackEntry> stack_;
    int recordDepth_ = 0;

    std::vector<std::pair<int, DebuggerErrorHandler>> debuggerErrorHandlers_;
    int nextConnection_ = 1;
    TraceSink traceSink_;
    ErrorWindow errorWindow_;
};

}  // namespace marlin
