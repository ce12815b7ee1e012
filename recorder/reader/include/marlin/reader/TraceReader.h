#pragma once
// Reads the recorder's trace files: the head (count field, interval, the instrument's description)
// and the sections, binary or ASCII, in every shape a recording leaves behind — without a head, with
// a cut-short last section, with damaged sections in between. Sections are checked, not trusted.
//
// The reader indexes a file in one forward pass without holding it in memory, and can be asked
// again as the file grows: update() goes on from where the last pass stopped, never counts a
// section that is still being written, and notices a file that was emptied and started again.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marlin::reader {

enum class SectionForm : std::uint8_t { Binary, Ascii };
// The form of a file, from its sections (a recording may switch form between readings).
enum class FileForm { NoSections, Binary, Ascii, Mixed };
std::string_view formName(FileForm form);

// A section's time stamp: the recording computer's local time, to the millisecond.
struct CivilTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;

    // "2010-03-02T09:05:07.040" (no zone: the file does not record one).
    std::string isoText() const;
    // Seconds since 1970-01-01 UTC, taking the stamp as local time of this computer's zone (TZ).
    double epochSeconds() const;
    bool operator==(const CivilTime&) const = default;
};

// One "Key;Value;Unit" line of the instrument's description.
struct HeadField {
    std::string key, value, unit;
};

struct TraceHead {
    std::string countField;                   // the 18 bytes at offset 0 ("ENDSTOP;0x…"), if present
    std::optional<std::uint32_t> countValue;  // its hexadecimal number
    bool countIsPlaceholder = false;          // "ENDSTOP;0x00000097", as the head is first written
    bool present = false;                     // interval line and instrument description found
    std::optional<double> intervalSeconds;
    std::string intervalText;
    std::string instrumentText;  // the description as stored (LF line ends)
    std::vector<HeadField> fields;
    std::optional<std::uint32_t> values;  // points per reading from "Values;n;"
    std::uint64_t sectionsOffset = 0;     // first byte after the head

    const HeadField* field(std::string_view key) const;  // case-insensitive key
    std::optional<double> number(std::string_view key) const;
};

// The x axis of a reading: linear from Start/Stop (or Center Freq/Span), else the point index.
struct FrequencyAxis {
    bool fromHead = false;
    double start = 0.0;
    double step = 1.0;
    std::string unit;  // the head's "X Unit"; empty for the point index
    double at(std::size_t point) const { return start + step * static_cast<double>(point); }
};
FrequencyAxis frequencyAxis(const TraceHead& head, std::uint32_t points);

struct Section {
    std::uint64_t offset = 0;      // of "Section"
    std::uint64_t dataOffset = 0;  // binary data or the ASCII value line
    std::uint64_t dataLength = 0;  // without the line end
    std::uint64_t end = 0;         // after the section's last line end
    std::int32_t number = 0;       // the recorder's reading count
    CivilTime time;
    SectionForm form = SectionForm::Binary;
};

enum class DamageKind {
    CutShort,         // the last section ends before its data does
    WrongLength,      // a binary section whose data is not n × 4 bytes + LF before the next section
    WrongValueCount,  // an ASCII value line without n readable values
    Unreadable,       // bytes that are no section at all
};
std::string_view damageName(DamageKind kind);

struct Damage {
    DamageKind kind = DamageKind::Unreadable;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string detail;
};

struct ReaderOptions {
    std::optional<std::string> separator;  // ASCII value separator; inferred from the first value line
    std::optional<std::uint32_t> values;   // points per reading; taken from the head or the sections
    // Keep an offset per section for section(i)/read(i) (about 4 bytes each); a one-pass reader
    // (visitor only) turns it off and then uses memory independent of the file's length.
    bool keepIndex = true;
    std::size_t maxDamages = 1000;  // damages kept in damages(); damageCount() counts them all
};

enum class UpdateStatus {
    Unchanged,  // nothing new
    Grew,       // new complete sections (or head) were read
    Restarted,  // the file was emptied or replaced: everything known before is gone
    Failed,     // the file could not be opened or read (see error())
};

class TraceReader {
public:
    // Called for every new complete section; `data` is its raw data (binary bytes or the ASCII value
    // line) and is only valid during the call.
    using Visitor = std::function<void(const Section& section, std::string_view data)>;

    explicit TraceReader(std::string path, ReaderOptions options = {});
    ~TraceReader();
    TraceReader(const TraceReader&) = delete;
    TraceReader& operator=(const TraceReader&) = delete;

    // Reads what was added since the last call (the whole file the first time).
    UpdateStatus update(const Visitor& visit = {});

    const std::string& path() const;
    const std::string& error() const;
    const TraceHead& head() const;
    FileForm form() const;
    std::uint32_t values() const;               // points per reading; 0 while unknown
    std::optional<std::string> separator() const;  // once known (ASCII sections only)
    FrequencyAxis axis() const;

    std::uint64_t sectionCount() const;  // complete, sound sections so far
    std::optional<Section> firstSection() const;
    std::optional<Section> lastSection() const;

    // Random access to complete section i (0-based, in file order); needs keepIndex.
    std::optional<Section> section(std::uint64_t index) const;
    // Reads section i and its values (values() of them) in one read.
    bool read(std::uint64_t index, Section& section, std::vector<float>& values) const;
    // Turns a section's raw data (as a Visitor receives it) into values() floats.
    bool decode(const Section& section, std::string_view data, std::span<float> out) const;

    const std::vector<Damage>& damages() const;  // in file order, the first maxDamages
    std::uint64_t damageCount() const;
    // The bytes after the last complete section that are not (yet) a section: a section still being
    // written, or cut short for good. update() looks at them again.
    std::optional<Damage> pendingTail() const;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace marlin::reader
