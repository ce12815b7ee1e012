#pragma once
// One export format: it receives the head, then every selected reading in file order, and writes
// its files under temporary names that the export command renames when everything went well.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "marlin/reader/TraceReader.h"

namespace marlin::cli {

enum class ExportFormat { Csv, Npy, Hdf5, Png };

struct ExportOptions {
    std::string file;
    ExportFormat format = ExportFormat::Csv;
    std::string output;
    std::optional<std::int64_t> first, last;  // section numbers, both included
    bool overwrite = false;
    bool quiet = false;
    int width = 1600, height = 1000;  // the largest heatmap plot area
    bool reduceMax = false;           // heatmap: max-hold instead of the mean
    std::optional<std::pair<double, double>> levels;
    std::optional<std::string> separator;
    bool compress = true;  // hdf5: the traces shuffled and deflated; false stores them as they are
};

struct ExportContext {
    const reader::TraceReader* reader = nullptr;
    std::uint32_t points = 0;
    reader::FrequencyAxis axis;
    std::uint64_t readings = 0;  // selected readings, when the sink asked for a counting pass
};

class ExportSink {
public:
    virtual ~ExportSink() = default;
    // The final names of the files this export writes (OUT first).
    virtual std::vector<std::string> outputs() const = 0;
    // Whether the number of readings must be known before the first add().
    virtual bool needsCount() const { return false; }
    // `paths` are the temporary names, in the order of outputs().
    virtual bool begin(const ExportContext& context, const std::vector<std::string>& paths, std::string& error) = 0;
    virtual bool add(const reader::Section& section, std::span<const float> values, std::string& error) = 0;
    // Whether addBinary() takes a binary section's data as the file holds it (little-endian floats),
    // which spares a copy for the formats that store the floats as they are.
    virtual bool takesBinaryData() const { return false; }
    virtual bool addBinary(const reader::Section&, std::string_view, std::string&) { return false; }
    virtual bool finish(std::string& error) = 0;
};

std::unique_ptr<ExportSink> makeCsvSink(const ExportOptions& options);
std::unique_ptr<ExportSink> makeNpySink(const ExportOptions& options);
std::unique_ptr<ExportSink> makeHdf5Sink(const ExportOptions& options);    // nullptr when built without
std::unique_ptr<ExportSink> makePngSink(const ExportOptions& options);     // nullptr when built without

// Writes the shortest text that reads back to the same value ("." always); returns the end.
// `p` needs room for 32 bytes.
char* writeShortest(char* p, float value);
char* writeShortest(char* p, double value);

}  // namespace marlin::cli
