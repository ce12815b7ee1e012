// CSV: "section,time," and the frequencies (or point numbers), then one row per reading with the
// ISO 8601 time and the shortest text of each value that reads back to the same float.
#include <charconv>
#include <cstdio>
#include <cstring>

#include "marlin/base/ShortestText.h"

#include "ExportSink.h"
#include "OutputFile.h"

namespace marlin::cli {

namespace {

class CsvSink : public ExportSink {
public:
    explicit CsvSink(std::string output) : output_(std::move(output)) {}
    std::vector<std::string> outputs() const override { return {output_}; }

    bool begin(const ExportContext& context, const std::vector<std::string>& paths, std::string& error) override {
        if (!file_.open(paths[0], output_, error)) return false;
        std::string head = "section,time";
        char buf[40];
        for (std::uint32_t i = 0; i < context.points; ++i) {
            head += ',';
            if (context.axis.fromHead) {
                head.append(buf, writeShortest(buf, context.axis.at(i)));
            } else {
                head += std::to_string(i);
            }
        }
        head += '\n';
        return file_.write(head.data(), head.size(), error);
    }

    bool add(const reader::Section& section, std::span<const float> values, std::string& error) override {
        row_.clear();
        row_ += std::to_string(section.number);
        row_ += ',';
        row_ += section.time.isoText();
        appendShortestTexts(row_, values, ',');
        row_ += '\n';
        return file_.write(row_.view().data(), row_.size(), error);
    }

    bool finish(std::string& error) override { return file_.close(error); }

private:
    std::string output_;
    OutputFile file_;
    TextBuffer row_;  // kept from row to row with its room
};

}  // namespace

std::unique_ptr<ExportSink> makeCsvSink(const ExportOptions& options) {
    return std::make_unique<CsvSink>(options.output);
}

}  // namespace marlin::cli
