#include "ExportSink.h"
namespace marlin::cli {
std::unique_ptr<ExportSink> makePngSink(const ExportOptions&) {
    return nullptr;
}
}  // namespace marlin::cli
