// Feeds arbitrary bytes to the version-resource reader twice: as a whole program file and as the
// raw version data. Any crash, sanitizer report or hang is a fault.
#include <cstddef>
#include <cstdint>
#include <span>

#include <marlin/platform/VersionInfo.h>
#include <marlin/platform/VersionResource.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const marlin::platform::VersionInfo::FileVersionRecord r = marlin::platform::VersionInfo::GetVersionRecordFromImage(bytes);
    (void)r;
    const marlin::platform::VersionResource res(bytes);
    (void)res.fixedInfo();
    if (const auto t = res.firstTranslation()) {
        (void)res.queryString(marlin::platform::VersionInfo::TranslationKey(t->first, t->second), "CompanyName");
    }
    return 0;
}
