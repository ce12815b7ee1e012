// Feeds arbitrary text to the registry store's file reader. Besides crashes and hangs, a fault is
// a store that does not read back exactly as it was written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <marlin/platform/RegistryTextFormat.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using marlin::platform::RegistryTextFormat;
    const std::vector<marlin::platform::RegistryRootName> roots = {{"HKEY_LOCAL_MACHINE", ""},
                                                                {"HKEY_CLASSES_ROOT", "SOFTWARE\\Classes"}};
    const auto first =
        RegistryTextFormat::parse(std::string_view(reinterpret_cast<const char*>(data), size), roots);
    const std::string text = RegistryTextFormat::format(first.root, "HKEY_LOCAL_MACHINE");
    const auto second = RegistryTextFormat::parse(text, roots);
    if (!second.problems.empty() || RegistryTextFormat::format(second.root, "HKEY_LOCAL_MACHINE") != text)
        std::abort();
    return 0;
}
