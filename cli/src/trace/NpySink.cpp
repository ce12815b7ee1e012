// NumPy's file format: OUT holds the values (readings x points, little-endian float32); beside it
// .time.npy (float64 seconds since the epoch) and .freq.npy (float64, the x axis). The number of
// readings is only known at the end, so each header is written with room to spare and completed then.
#include <bit>
#include <cstring>

#include "ExportSink.h"
#include "OutputFile.h"

namespace marlin::cli {

namespace {

constexpr std::size_t kHeaderSize = 128;  // a multiple of 64, as the format asks

class NpyArray {
public:
    bool open(const std::string& path, const std::string& shown, const char* descr, std::optional<std::uint32_t> columns,
              std::string& error) {
        descr_ = descr;
        columns_ = columns;
        if (!file_.open(path, shown, error)) return false;
        return writeHeader(0, error, false);
    }
    bool write(const void* data, std::size_t size, std::string& error) { return file_.write(data, size, error); }
    bool finish(std::uint64_t rows, std::string& error) {
        return writeHeader(rows, error, true) && file_.close(error);
    }

private:
    bool writeHeader(std::uint64_t rows, std::string& error, bool atStart) {
        std::string dict = std::string("{'descr': '") + descr_ + "', 'fortran_order': False, 'shape': (" +
                           std::to_string(rows) + (columns_ ? ", " + std::to_string(*columns_) + ")" : ",)") + ", }";
        std::string header("\x93NUMPY\x01\x00", 8);
        const auto length = static_cast<std::uint16_t>(kHeaderSize - 10);
        header += static_cast<char>(length & 0xFF);
        header += static_cast<char>(length >> 8);
        header += dict;
        header.append(kHeaderSize - 1 - header.size(), ' ');
        header += '\n';
        return atStart ? file_.writeAt(0, header.data(), header.size(), error)
                       : file_.write(header.data(), header.size(), error);
    }
    OutputFile file_;
    const char* descr_ = "";
    std::optional<std::uint32_t> columns_;
};

std::string besideName(const std::string& output, const char* suffix) {
    const std::string stem = output.ends_with(".npy") ? output.substr(0, output.size() - 4) : output;
    return stem + suffix;
}

class NpySink : public ExportSink {
public:
    explicit NpySink(std::string output) : output_(std::move(output)) {}
    std::vector<std::string> outputs() const override {
        return {output_, besideName(output_, ".time.npy"), besideName(output_, ".freq.npy")};
    }

    bool begin(const ExportContext& context, const std::vector<std::string>& paths, std::string& error) override {
        static_assert(std::endian::native == std::endian::little, "the arrays are written in host order");
        const auto names = outputs();
        if (!values_.open(paths[0], names[0], "<f4", context.points, error) ||
            !time_.open(paths[1], names[1], "<f8", std::nullopt, error)) {
            return false;
        }
        NpyArray freq;
        if (!freq.open(paths[2], names[2], "<f8", std::nullopt, error)) return false;
        std::vector<double> axis(context.points);
        for (std::uint32_t i = 0; i < context.points; ++i) axis[i] = context.axis.at(i);
        return freq.write(axis.data(), axis.size() * sizeof(double), error) && freq.finish(axis.size(), error);
    }

    bool add(const reader::Section& section, std::span<const float> values, std::string& error) override {
        const double time = section.time.epochSeconds();
        ++rows_;
        return values_.write(values.data(), values.size_bytes(), error) && time_.write(&time, sizeof time, error);
    }

    bool takesBinaryData() const override { return true; }
    bool addBinary(const reader::Section& section, std::string_view data, std::string& error) override {
        const double time = section.time.epochSeconds();
        ++rows_;
        return values_.write(data.data(), data.size(), error) && time_.write(&time, sizeof time, error);
    }

    bool finish(std::string& error) override { return values_.finish(rows_, error) && time_.finish(rows_, error); }

private:
    std::string output_;
    NpyArray values_, time_;
    std::uint64_t rows_ = 0;
};

}  // namespace

std::unique_ptr<ExportSink> makeNpySink(const ExportOptions& options) {
    return std::make_unique<NpySink>(options.output);
}

}  // namespace marlin::cli
