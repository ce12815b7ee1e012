#pragma once
// Room on the disk for the next sections of a recording. The recorder asks before each reading,
// so that a filling disk ends the recording with a message naming the file and the free space
// instead of a section cut short.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "marlin/core/RecorderSettings.h"

namespace marlin {

class DiskRoom {
public:
    // Free bytes that this user may still write in `folder`; nullopt when the system cannot tell.
    using FreeSpaceQuery = std::function<std::optional<std::uint64_t>(const std::string& folder)>;
    // Sections asked for before each reading.
    static constexpr std::uint64_t kSectionsAhead = 2;

    static std::optional<std::uint64_t> systemFreeSpace(const std::string& folder);
    // The folder a file is in ("." for a bare name).
    static std::string folderOf(const std::string& path);
    // The value count of the instrument's trace description ("Values;501;"), 0 without one.
    static std::uint64_t valueCount(std::string_view exportText);
    // The largest a section of `values` values can be in the form (ASCII: each value at its
    // longest text).
    static std::uint64_t sectionBytes(std::uint64_t values, FileForm form, std::size_t separatorLength);
    // "812 bytes", "3.4 MB" ...
    static std::string bytesText(std::uint64_t bytes);

    // Tests fake a full disk here.
    void setQuery(FreeSpaceQuery query) { query_ = std::move(query); }
    // A new recording of `values` values per reading.
    void start(std::uint64_t values);
    // A section of this many bytes was written.
    void sectionWritten(std::uint64_t bytes, FileForm form);
    // Empty when the folder of `path` has room for kSectionsAhead more sections in the form;
    // otherwise why not, naming the file and the free space. While the disk has room for many
    // more sections the system is asked at most every kRequery; in between the recorder's own
    // writes count down the free space it said.
    std::string shortOfRoom(const std::string& path, FileForm form, std::size_t separatorLength);
    static constexpr std::chrono::milliseconds kRequery{100};
    static constexpr std::uint64_t kPlentySections = 16;

private:
    FreeSpaceQuery query_ = &DiskRoom::systemFreeSpace;
    std::uint64_t values_ = 0;
    std::uint64_t lastSection_ = 0;  // 0: none written yet
    FileForm lastForm_ = FileForm::Binary;
    // The last answer of the system, for the folder it was asked about, and what was written since.
    std::optional<std::uint64_t> lastFree_;
    std::string lastFolder_;
    std::chrono::steady_clock::time_point lastAsked_;
    std::uint64_t writtenSince_ = 0;
};

}  // namespace marlin
