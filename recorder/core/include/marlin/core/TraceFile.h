#pragma once
// The trace file: a head (count field, recording interval, the instrument's own trace description)
// followed by one section per reading, binary (raw little-endian floats) or ASCII (one text line).
// The file is opened and closed for every write and never held open between readings. A write
// that fails leaves the file as it was before that write and says why. Each section goes to the
// file in one write, so a recorder killed while writing leaves at most its last section missing.
// With `sync` a write returns only when its bytes (and the folder entry of a new file) are on the
// storage device, so a crash of the machine loses no section that was reported written.

#include <cstdint>
#include <string>
#include <string_view>

#include <marlin/base/SplitWrite.h>
#include <marlin/base/TimeStamp.h>

namespace marlin {

// Result of one file operation; `message` names the file and the system's reason on failure.
struct FileResult {
    bool ok = true;
    std::string message;
    // The failure is that the file is no longer (or never was) the recording's trace file:
    // deleted, replaced or shortened by someone else, or not a trace file. Nothing was written.
    bool notTheTraceFile = false;
    explicit operator bool() const { return ok; }
};

// The file a recording last wrote, so that the next write notices when someone else has deleted,
// replaced or shortened it in between.
struct TraceFileMark {
    std::string path;  // empty: nothing written yet
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    long long size = 0;
};

class TraceFile {
public:
    static constexpr std::string_view kCountPlaceholder = "ENDSTOP;0x00000097";
    static constexpr std::size_t kCountFieldLength = 18;

    // --- texts ---
    // The instrument header: the export text up to the ";" that ends the value count after
    // "Values;", plus one character, with every CR turned into LF.
    static std::string instrumentHeader(std::string_view exportText);
    // The complete head: count placeholder, LF, "CAPDELAYTIME;" + interval (six decimals), LF, header.
    static std::string headText(double intervalSeconds, std::string_view exportText);
    // "ENDSTOP;0x" + count in upper-case hex, blank-padded to 18 bytes.
    static std::string countField(std::int32_t readingCount);
    // "Section12;stamp" (binary) or "Section 12;stamp" (ASCII), without the line end.
    static std::string sectionLine(std::int32_t readingCount, const TimeStamp& stamp, bool ascii);
    // The values of little-endian float data as text, joined by the separator.
    static std::string JoinValues(std::string_view floatBytes, std::string_view separator);
    // A whole ASCII section, "sectionLine CR LF values CR LF", built in `section`, which a
    // recording keeps from reading to reading: a section of 100,001 values is over a megabyte,
    // and memory fresh from the system costs a fault per page.
    static void asciiSectionInto(TextBuffer& section, std::int32_t readingCount, const TimeStamp& stamp,
                                 std::string_view floatBytes, std::string_view separator);
    // The name the file dialog proposes: address + "_trace" + trace + "@" + Y-M-D hh_mm_ss.
    static std::string suggestedFileName(std::string_view address, std::string_view traceText,
                                         const TimeStamp& stamp);

    // --- file operations ---
    // How many times this process has waited for a trace file's bytes to reach the disk.
    static std::uint64_t syncCount();
    static bool exists(const std::string& path);
    // Empties an existing file, leaving one empty line (CR LF) in it.
    static FileResult emptyFile(const std::string& path);
    // Writes the head at offset 0 without truncating (the file is created when missing; a file
    // created here is removed again when the head cannot be written).
    static FileResult writeHead(const std::string& path, std::string_view head, TraceFileMark* mark = nullptr,
                                bool sync = false);
    // Appends "sectionLine LF data LF" at the end and then sets the count field at offset 0. The
    // count field is only ever written into a file that starts with one, or holds nothing.
    // With a mark: a file of the marked name must still be the one marked, and the mark follows
    // the write. With sync the section is on the disk before the count field is changed.
    static FileResult appendBinarySection(const std::string& path, std::int32_t readingCount,
                                          const TimeStamp& stamp, std::string_view data,
                                          TraceFileMark* mark = nullptr, bool sync = false);
    // Appends "sectionLine CR LF values CR LF"; the mark as for the binary form.
    static FileResult appendAsciiSection(const std::string& path, std::int32_t readingCount,
                                         const TimeStamp& stamp, std::string_view valuesText,
                                         TraceFileMark* mark = nullptr, bool sync = false);
    // Appends a section built by asciiSectionInto, as it is.
    static FileResult appendAsciiSectionText(const std::string& path, std::string_view section,
                                             TraceFileMark* mark = nullptr, bool sync = false);
};

}  // namespace marlin
