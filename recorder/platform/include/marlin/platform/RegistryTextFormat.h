#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <marlin/platform/RegistryKey.h>

namespace marlin::platform {

// A root name a store file may use in its key lines, and where its keys land in the store
// ("HKEY_CLASSES_ROOT" lands below "SOFTWARE\Classes" of the local-machine store).
struct RegistryRootName {
    std::string name;
    std::string prefix;
};

struct RegistryParseResult {
    RegistryKey root;
    // One text per line that could not be understood ("line 7: ..."); such lines are left out.
    std::vector<std::string> problems;
};

// The registry's own text export format, so that a person can read and edit a store:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Quazar]
//   @="default value"
//   "Path"="C:\\Quazar\\"
//   "Count"=dword:0000002a
//   "Data"=hex:01,02,03
//   "Expand"=hex(2):25,50,41,54,48,25,00
//
// Both headers ("REGEDIT4" and "Windows Registry Editor Version 5.00") are read, from 8-bit or
// UTF-16 files; in files of the second kind the hex bytes of texts are UTF-16 and become UTF-8.
// We write the first kind: texts are 8-bit here, as everywhere in the system.
class RegistryTextFormat {
public:
    static constexpr std::string_view kHeader4 = "REGEDIT4";
    static constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";

    static RegistryParseResult parse(std::string_view text, const std::vector<RegistryRootName>& roots);
    static std::string format(const RegistryKey& root, std::string_view rootName);

    static std::string quote(std::string_view text);
};

}  // namespace marlin::platform
