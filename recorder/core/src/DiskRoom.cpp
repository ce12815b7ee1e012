#include "marlin/core/DiskRoom.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "marlin/core/TextHelpers.h"

namespace marlin {

namespace {

// Section line, time stamp and line ends, generously.
constexpr std::uint64_t kSectionOverhead = 64;

}  // namespace

std::optional<std::uint64_t> DiskRoom::systemFreeSpace(const std::string& folder) {
    std::error_code ec;
    const auto space = std::filesystem::space(folder, ec);
    if (ec || space.available == static_cast<std::uintmax_t>(-1)) return std::nullopt;
    return static_cast<std::uint64_t>(space.available);
}

std::string DiskRoom::folderOf(const std::string& path) {
    const auto parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

std::uint64_t DiskRoom::valueCount(std::string_view text) {
    const auto at = text.find("Values;");
    if (at == std::string_view::npos) return 0;
    const char* first = text.data() + at + 7;
    std::uint64_t count = 0;
    std::from_chars(first, text.data() + text.size(), count);
    return count;
}

std::uint64_t DiskRoom::sectionBytes(std::uint64_t values, FileForm form, std::size_t separatorLength) {
    const std::uint64_t perValue = form == FileForm::Binary ? 4 : kMaxSingleNumberText + separatorLength;
    return kSectionOverhead + values * perValue;
}

std::string DiskRoom::bytesText(std::uint64_t bytes) {
    if (bytes < 10000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    const char* units[] = {"kB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes) / 1000.0;
    int unit = 0;
    while (value >= 1000.0 && unit < 4) {
        value /= 1000.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

void DiskRoom::start(std::uint64_t values) {
    values_ = values;
    lastSection_ = 0;
    lastFree_.reset();
}

void DiskRoom::sectionWritten(std::uint64_t bytes, FileForm form) {
    lastSection_ = bytes;
    lastForm_ = form;
    writtenSince_ += bytes;
}

std::string DiskRoom::shortOfRoom(const std::string& path, FileForm form, std::size_t separatorLength) {
    // The last section tells best what the next one needs, unless the form has changed since.
    const std::uint64_t section = lastSection_ > 0 && lastForm_ == form
                                      ? lastSection_
                                      : sectionBytes(values_, form, separatorLength);
    const std::uint64_t needed = kSectionsAhead * section;
    const std::string folder = folderOf(path);
    // Back-to-back recording need not ask the system before every reading of a roomy disk.
    const auto now = std::chrono::steady_clock::now();
    const bool plenty = lastFree_ && folder == lastFolder_ && now - lastAsked_ < kRequery &&
                        *lastFree_ >= writtenSince_ && *lastFree_ - writtenSince_ >= kPlentySections * needed;
    if (plenty) return {};
    const auto free = query_ ? query_(folder) : std::nullopt;
    lastFree_ = free;
    lastFolder_ = folder;
    lastAsked_ = now;
    writtenSince_ = 0;
    if (!free || *free >= needed) return {};
    return "The disk of the trace file \"" + path + "\" is nearly full: " + bytesText(*free) +
           " free in \"" + folder + "\", less than the next two sections need (" + bytesText(needed) +
           ").\r\nThe recording has stopped before a section could be cut short. Free some space or record "
           "to another disk, then start again.";
}

}  // namespace marlin
