// `marlin-cli export`: reads the trace file once (twice for a picture, which needs the number of
// readings first) and hands every selected complete reading to the chosen format. The files are
// written under temporary names and renamed only when all went well, so an existing OUT is never
// lost to a failed export.
#include <bit>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "marlin/base/ShortestText.h"

#include "ExportModule.h"
#include "ExportSink.h"
#include "TraceCommands.h"

namespace marlin::cli {

namespace {

using Clock = std::chrono::steady_clock;

class Progress {
public:
    Progress(std::ostream& err, bool shown, std::uint64_t total, const char* what)
        : err_(err), shown_(shown), total_(total), what_(what) {}
    void at(std::uint64_t offset, std::uint64_t readings) {
        if (!shown_) return;
        const auto now = Clock::now();
        if (now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        const int percent = total_ ? static_cast<int>(offset * 100 / total_) : 100;
        err_ << '\r' << what_ << ": " << percent << "% (" << readings << " readings)" << std::flush;
        drawn_ = true;
    }
    void clear() {
        if (drawn_) err_ << '\r' << std::string(60, ' ') << '\r' << std::flush;
        drawn_ = false;
    }

private:
    std::ostream& err_;
    bool shown_;
    std::uint64_t total_;
    const char* what_;
    Clock::time_point last_{};
    bool drawn_ = false;
};

std::unique_ptr<ExportSink> makeSink(const ExportOptions& o, std::string& error) {
    switch (o.format) {
        case ExportFormat::Csv:
            return makeCsvSink(o);
        case ExportFormat::Npy:
            return makeNpySink(o);
        case ExportFormat::Hdf5:
        case ExportFormat::Png:
            return loadModuleSink(o, error);
    }
    return nullptr;
}

void removeAll(const std::vector<std::string>& paths) {
    std::error_code ec;
    for (const auto& p : paths) std::filesystem::remove(p, ec);
}

}  // namespace

char* writeShortest(char* p, float value) {
    static_assert(kShortestTextRoom <= 32);
    return writeShortestText(p, value);
}

char* writeShortest(char* p, double value) {
    return std::to_chars(p, p + 32, value).ptr;
}

int runExport(const ExportOptions& o, std::ostream& out, std::ostream& err, bool progressTerminal) {
    std::string why;
    const auto sink = makeSink(o, why);
    if (!sink) {
        err << "marlin-cli export: this marlin-cli cannot write that format: " << why
            << ".\nChoose another --format, or install marlin-cli with its export module.\n";
        return kTraceUsage;
    }
    const std::vector<std::string> outputs = sink->outputs();
    for (const auto& path : outputs) {
        if (std::filesystem::absolute(path) == std::filesystem::absolute(o.file)) {
            err << "marlin-cli export: the output \"" << path << "\" is the trace file itself; choose another --output.\n";
            return kTraceUsage;
        }
        if (!o.overwrite && std::filesystem::exists(path)) {
            err << "marlin-cli export: \"" << path << "\" already exists and was left untouched; give --overwrite to "
                << "replace it.\n";
            return kTraceOutputExists;
        }
    }

    std::error_code sizeError;
    const std::uint64_t fileSize = std::filesystem::file_size(o.file, sizeError);
    const bool showProgress = progressTerminal && !o.quiet;
    auto selected = [&](const reader::Section& s) {
        return (!o.first || s.number >= *o.first) && (!o.last || s.number <= *o.last);
    };
    reader::ReaderOptions readerOptions;
    readerOptions.separator = o.separator;
    readerOptions.keepIndex = false;

    ExportContext context;
    if (sink->needsCount()) {
        reader::TraceReader counter(o.file, readerOptions);
        Progress progress(err, showProgress, fileSize, "counting");
        if (counter.update([&](const reader::Section& s, std::string_view) {
                if (selected(s)) ++context.readings;
                progress.at(s.end, context.readings);
            }) == reader::UpdateStatus::Failed) {
            progress.clear();
            err << "marlin-cli export: " << counter.error() << "\nCheck the file name and that the file can be read.\n";
            return kTraceFileError;
        }
        progress.clear();
    }

    reader::TraceReader r(o.file, readerOptions);
    std::vector<std::string> temporary;
    for (const auto& path : outputs) temporary.push_back(path + ".part");
    bool begun = false;
    std::string error;
    std::uint64_t exported = 0;
    std::vector<float> values;
    const bool rawData = std::endian::native == std::endian::little && sink->takesBinaryData();
    Progress progress(err, showProgress, fileSize, "exporting");
    const auto status = r.update([&](const reader::Section& s, std::string_view data) {
        if (!error.empty() || !selected(s)) return;
        if (!begun) {
            context.reader = &r;
            context.points = r.values();
            context.axis = r.axis();
            if (!sink->begin(context, temporary, error)) return;
            begun = true;
        }
        if (rawData && s.form == reader::SectionForm::Binary && data.size() == std::size_t{r.values()} * 4) {
            if (!sink->addBinary(s, data, error)) return;
            ++exported;
            progress.at(s.end, exported);
            return;
        }
        values.resize(r.values());
        if (!r.decode(s, data, values)) {
            error = "section " + std::to_string(s.number) + " could not be decoded";
            return;
        }
        if (!sink->add(s, values, error)) return;
        ++exported;
        progress.at(s.end, exported);
    });
    progress.clear();
    if (status == reader::UpdateStatus::Failed) {
        removeAll(temporary);
        err << "marlin-cli export: " << r.error() << "\nCheck the file name and that the file can be read.\n";
        return kTraceFileError;
    }
    if (begun && error.empty()) sink->finish(error);
    if (!error.empty()) {
        removeAll(temporary);
        err << "marlin-cli export: " << error << "\nNothing was replaced; check the output folder and the free space.\n";
        return kTraceFileError;
    }

    // What was skipped is said whether or not anything was exported.
    std::vector<reader::Damage> skipped = r.damages();
    if (const auto tail = r.pendingTail()) skipped.push_back(*tail);
    const std::uint64_t skippedCount = r.damageCount() + (r.pendingTail() ? 1 : 0);
    for (const auto& d : skipped) {
        err << "marlin-cli export: skipped " << reader::damageName(d.kind) << " at offset " << d.offset << " ("
            << d.length << " bytes): " << d.detail << '\n';
    }
    if (skipped.size() < skippedCount) {
        err << "marlin-cli export: skipped " << skippedCount - skipped.size() << " more damaged places\n";
    }
    if (!begun) {
        err << "marlin-cli export: no complete reading " << (o.first || o.last ? "in the chosen range" : "in the file")
            << "; nothing was written.\n";
        return kTraceNothing;
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        std::error_code ec;
        std::filesystem::rename(temporary[i], outputs[i], ec);
        if (ec) {
            removeAll(temporary);
            err << "marlin-cli export: \"" << outputs[i] << "\" could not be written: " << ec.message() << ".\n";
            return kTraceFileError;
        }
    }
    if (!o.quiet) {
        out << exported << (exported == 1 ? " reading" : " readings") << " of " << r.values()
            << " points exported to " << outputs[0];
        for (std::size_t i = 1; i < outputs.size(); ++i) out << (i + 1 == outputs.size() ? " and " : ", ") << outputs[i];
        out << '\n';
    }
    return skippedCount > 0 ? kTraceDamaged : kTraceOk;
}

}  // namespace marlin::cli
