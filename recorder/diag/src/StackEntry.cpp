#include <marlin/diag/StackEntry.h>

namespace marlin {

std::string FormatStackEntry(const StackEntry& entry) {
    std::string text = entry.FileName + ".";
    if (!entry.ComponentName.empty()) {
        text += entry.ComponentName + "_";
    }
    text += entry.FunctionName;
    if (!entry.Info.empty()) {
        text += " <" + entry.Info + ">";
    }
    return text;
}

}  // namespace marlin
