#include "ExportSink.h"
namespace marlin::cli {
std::unique_ptr<ExportSink> makeHdf5Sink(const ExportOptions&) {
    return nullptr;
}
}  // namespace marlin::cli
