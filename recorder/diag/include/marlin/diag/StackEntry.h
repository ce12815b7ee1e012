// One entry of the diagnostics log's call stack.
#pragma once

#include <string>

#include <marlin/diag/TimeStamp.h>

namespace marlin {

struct StackEntry {
    std::string FileName;       // module, window or class of the procedure
    std::string ComponentName;  // control part of an event procedure; empty for plain procedures
    std::string FunctionName;   // procedure or event name
    std::string Info;           // attached by PushInfo; empty when pushed
    TimeStamp PushTime;
};

// "File.Component_Function <Info>", the component and info parts only when set:
// QZStandard.GetISOTimeString, MainForm.StartRec_Click.
std::string FormatStackEntry(const StackEntry& entry);

}  // namespace marlin
