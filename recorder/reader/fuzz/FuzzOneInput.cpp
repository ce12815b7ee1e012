#include "FuzzOneInput.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "marlin/reader/TraceReader.h"

namespace marlin::reader {

namespace {

void write(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void readAll(TraceReader& reader) {
    std::vector<float> values;
    reader.update([&](const Section& s, std::string_view data) {
        values.resize(reader.values());
        (void)reader.decode(s, data, values);
    });
    (void)reader.axis();
    Section s;
    for (std::uint64_t i = 0; i < reader.sectionCount(); ++i) (void)reader.read(i, s, values);
}

}  // namespace

void fuzzOneInput(std::string_view bytes) {
    const std::string path = "/tmp/marlin-reader-fuzz-" + std::to_string(::getpid()) + ".sft";
    write(path, bytes);
    TraceReader whole(path);
    readAll(whole);
    TraceReader withOptions(path, {.separator = std::string(), .values = 3, .keepIndex = false, .maxDamages = 2});
    readAll(withOptions);
    // The same bytes arriving in two steps, as a live recording shows them.
    write(path, bytes.substr(0, bytes.size() / 2));
    TraceReader growing(path);
    readAll(growing);
    write(path, bytes);
    readAll(growing);
    std::remove(path.c_str());
}

}  // namespace marlin::reader
