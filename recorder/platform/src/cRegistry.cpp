#include <marlin/platform/cRegistry.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include <marlin/base/ProgramPaths.h>
#include <marlin/platform/RegistryStore.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace marlin::platform {

namespace {

constexpr const char* kObjectDefinedError = "Application-defined or object-defined error";

std::string trimBlanks(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::int32_t readInt32(const std::vector<std::uint8_t>& data) {
    std::uint8_t b[4] = {0, 0, 0, 0};
    std::memcpy(b, data.data(), std::min<std::size_t>(4, data.size()));
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
}

std::vector<std::uint8_t> int32Bytes(std::int32_t v) {
    std::vector<std::uint8_t> b(4);
    std::memcpy(b.data(), &v, 4);  // the machine's byte order
    return b;
}

// The whole number a value stands for, when it is one that fits 32 bits.
std::optional<std::int32_t> wholeNumber(const RegValue& v) {
    if (const auto* i = std::get_if<std::int32_t>(&v)) return *i;
    if (const auto* s = std::get_if<std::int16_t>(&v)) return *s;
    if (const auto* d = std::get_if<double>(&v)) {
        if (std::isfinite(*d) && std::trunc(*d) == *d && *d >= -2147483648.0 && *d <= 2147483647.0)
            return static_cast<std::int32_t>(*d);
    }
    return std::nullopt;
}

}  // namespace

std::string cRegistry::ErrorSource() {
    const std::filesystem::path exe = ProgramPaths::executablePath();
    std::string name;
    try {
#ifdef _WIN32
        name = exe.stem().string();
#else
        name = exe.filename().string();
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) name.resize(name.size() - 4);
#endif
    } catch (const std::exception&) {
        name.clear();  // a name the narrow code page cannot spell
    }
    return name + ".cRegistry";
}

void cRegistry::raise(std::int32_t number, const std::string& message) const {
    throw RegistryError(number, ErrorSource(), message);
}

std::string cRegistry::ValueText(const RegValue& value) {
    struct Visitor {
        std::string operator()(std::monostate) const { return ""; }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(std::int16_t v) const { return std::to_string(v); }
        std::string operator()(std::int32_t v) const { return std::to_string(v); }
        std::string operator()(double v) const {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.15g", v);
            return buf;
        }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const std::vector<std::uint8_t>& b) const {
            return std::string(b.begin(), b.end());
        }
    };
    return std::visit(Visitor{}, value);
}

std::int32_t cRegistry::SwapLong(std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>((u >> 24) | ((u >> 8) & 0xFF00u) | ((u << 8) & 0xFF0000u) | (u << 24));
}

std::string cRegistry::ExpandEnvString(const std::string& text) {
#ifdef _WIN32
    const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (needed == 0) return text;
    std::string out(needed, '\0');
    const DWORD n = ExpandEnvironmentStringsA(text.c_str(), out.data(), needed);
    if (n == 0 || n > needed) return text;
    out.resize(n - 1);
    return out;
#else
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t open = text.find('%', i);
        if (open == std::string::npos) break;
        const std::size_t close = text.find('%', open + 1);
        if (close == std::string::npos) break;
        out.append(text, i, open - i);
        const std::string name = text.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value) {
            out += value;
            i = close + 1;
        } else {
            // Not a variable: keep the text, and let the closing "%" start the next reference.
            out.append(text, open, close - open);
            i = close;
        }
    }
    out.append(text, i, std::string::npos);
    return out;
#endif
}

bool cRegistry::KeyExists() const {
    return RegistryStore::keyExists(classKey_, sectionKey_) == RegistryStore::kSuccess;
}

bool cRegistry::CreateKey() {
    if (RegistryStore::createKey(classKey_, sectionKey_) != RegistryStore::kSuccess) {
        raise(kErrRegistry, "Failed to create registry Key: '" + sectionKey_);
    }
    return true;
}

bool cRegistry::DeleteKey() {
    if (RegistryStore::deleteKey(classKey_, sectionKey_) != RegistryStore::kSuccess) {
        raise(kErrRegistry,
              "Failed to delete registry Key: '" + std::to_string(classKey_) + "',Section: '" + sectionKey_);
    }
    return true;
}

bool cRegistry::DeleteValue() {
    if (RegistryStore::keyExists(classKey_, sectionKey_) != RegistryStore::kSuccess) {
        raise(kErrRegistry, "Failed to open key '" + std::to_string(classKey_) + "',Section: '" +
                                sectionKey_ + "' for delete access");
    }
    if (RegistryStore::deleteValue(classKey_, sectionKey_, valueKey_) != RegistryStore::kSuccess) {
        raise(kErrRegistry, "Failed to delete registry Key: '" + std::to_string(classKey_) + "',Section: '" +
                                sectionKey_ + "',Key: '" + valueKey_);
    }
    return true;
}

RegValue cRegistry::Value() {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    // A value that is present but empty is still a value: it reads as "" or no bytes.
    if (RegistryStore::queryValue(classKey_, sectionKey_, valueKey_, type, data) != RegistryStore::kSuccess) {
        return default_;
    }
    valueType_ = static_cast<std::int32_t>(type);
    switch (type) {
        case kRegSz:
        case kRegExpandSz:
        case kRegMultiSz: {
            // The stored terminator is not part of the text; a multi-string keeps its inner separators.
            if (!data.empty() && data.back() == 0) data.pop_back();
            std::string text(data.begin(), data.end());
            return type == kRegExpandSz ? RegValue(ExpandEnvString(text)) : RegValue(std::move(text));
        }
        case kRegDword:
            return readInt32(data);
        case kRegDwordBigEndian:
            return SwapLong(readInt32(data));
        default:
            return data;
    }
}

std::string cRegistry::writeFailureMessage(const RegValue& value) const {
    return "Failed to set registry value Key: '" + std::to_string(classKey_) + "',Section: '" + sectionKey_ +
           "',Key: '" + valueKey_ + "' to value: '" + ValueText(value) + "'";
}

void cRegistry::Value(const RegValue& vValue) {
    if (RegistryStore::createKey(classKey_, sectionKey_) != RegistryStore::kSuccess) {
        raise(kErrRegistry, writeFailureMessage(vValue));
    }
    long outcome = RegistryStore::kSuccess;
    switch (valueType_) {
        case kRegSz:
        case kRegExpandSz: {
            const std::string s = ValueText(vValue);
            const std::size_t first = s.find('%');
            const bool expandable = first != std::string::npos && s.find('%', first + 2) != std::string::npos;
            std::vector<std::uint8_t> data(s.begin(), s.end());
            data.push_back(0);
            outcome = RegistryStore::setValue(classKey_, sectionKey_, valueKey_,
                                              expandable ? kRegExpandSz : kRegSz, data);
            break;
        }
        case kRegBinary: {
            const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&vValue);
            if (!bytes) raise(kErrRegistry, kObjectDefinedError);
            outcome = RegistryStore::setValue(classKey_, sectionKey_, valueKey_, kRegBinary, *bytes);
            break;
        }
        case kRegDword:
        case kRegDwordBigEndian: {
            // Anything but a whole 32-bit number cannot be stored here; say so rather than drop it.
            const auto number = wholeNumber(vValue);
            outcome = number ? RegistryStore::setValue(classKey_, sectionKey_, valueKey_, kRegDword,
                                                       int32Bytes(*number))
                             : RegistryStore::kInvalidData;
            break;
        }
        default:
            outcome = RegistryStore::kInvalidData;
            break;
    }
    if (outcome != RegistryStore::kSuccess) raise(kErrWriteValue, writeFailureMessage(vValue));
    lastValue_ = vValue;
}

bool cRegistry::EnumerateValues(std::vector<std::string>& sKeyNames, std::int32_t& iKeyCount) {
    sKeyNames.clear();
    iKeyCount = 0;
    std::vector<std::string> names;
    if (RegistryStore::listValueNames(classKey_, sectionKey_, names) == RegistryStore::kSuccess) {
        sKeyNames = std::move(names);
        iKeyCount = static_cast<std::int32_t>(sKeyNames.size());
    }
    return true;
}

bool cRegistry::EnumerateSections(std::vector<std::string>& sSect, std::int32_t& iSectCount) {
    sSect.clear();
    iSectCount = 0;
    try {
        std::vector<std::string> names;
        if (RegistryStore::listSubkeyNames(classKey_, sectionKey_, names) == RegistryStore::kSuccess) {
            sSect = std::move(names);
            iSectCount = static_cast<std::int32_t>(sSect.size());
        }
    } catch (const std::exception& e) {
        raise(kErrEnumerateSections, e.what());
    }
    return true;
}

void cRegistry::SetClassesValue(const std::string& text) {
    classKey_ = kClassesRoot;
    Value(RegValue(text));
    const std::string s = sectionKey_;
    classKey_ = kLocalMachine;
    sectionKey_ = "SOFTWARE\\Classes\\" + s;
    try {
        Value(RegValue(text));
    } catch (...) {
        sectionKey_ = s;
        throw;
    }
    sectionKey_ = s;
}

void cRegistry::CreateEXEAssociation(const std::string& sExePath, const std::string& sClassName,
                                     const std::string& sClassDescription, const std::string& sAssociation,
                                     const std::string& sOpenMenuText, bool bSupportPrint,
                                     const std::string& sPrintMenuText, bool bSupportNew,
                                     const std::string& sNewMenuText, bool bSupportInstall,
                                     const std::string& sInstallMenuText, std::int32_t lDefaultIconIndex) {
    std::string p = trimBlanks(sExePath);
    if (p.empty() || p.front() != '"') p.insert(p.begin(), '"');
    if (p.back() != '"') p += '"';
    const std::string q = "\"";

    valueType_ = kRegSz;
    valueKey_.clear();
    auto put = [&](const std::string& section, const std::string& text) {
        sectionKey_ = section;
        SetClassesValue(text);
    };
    put("." + sAssociation, sClassName);
    put(sClassName, sClassDescription);
    put(sClassName + "\\shell\\open", sOpenMenuText.empty() ? "&Open" : sOpenMenuText);
    put(sClassName + "\\shell\\open\\command", p + " " + q + "%1" + q);
    if (bSupportPrint) {
        put(sClassName + "\\shell\\print", sPrintMenuText.empty() ? "&Print" : sPrintMenuText);
        put(sClassName + "\\shell\\print\\command", p + " /p " + q + "%1" + q);
    }
    if (bSupportInstall) {
        put(sClassName + "\\shell\\add",
            sInstallMenuText.empty() ? "&Install " + sAssociation : sInstallMenuText);
        put(sClassName + "\\shell\\add\\command", p + " /a " + q + "%1" + q);
    }
    if (bSupportNew) {
        put(sClassName + "\\shell\\new", sNewMenuText.empty() ? "&New" : sNewMenuText);
        put(sClassName + "\\shell\\new\\command", p + " /n " + q + "%1" + q);
    }
    if (lDefaultIconIndex >= 0)
        put(sClassName + "\\DefaultIcon", p + "," + std::to_string(lDefaultIconIndex));
}

void cRegistry::CreateAdditionalEXEAssociations(const std::string& sClassName,
                                                const std::vector<RegValue>& vItems) {
    if (vItems.size() % 3 != 0) {
        raise(
            kErrAssociationItems,
            "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command");
    }
    // Classes are defined under HKEY_CLASSES_ROOT, whatever root the caller used last.
    classKey_ = kClassesRoot;
    sectionKey_ = sClassName;
    if (!KeyExists())
        raise(kErrClassNotDefined, "Error - attempt to create additional associations before class defined.");

    // Each step runs even when one before it failed; the first failure is reported at the end.
    std::optional<RegistryError> firstFailure;
    auto step = [&](const std::string& section, const RegValue& item) {
        try {
            valueType_ = kRegSz;
            sectionKey_ = section;
            valueKey_.clear();
            SetClassesValue(ValueText(item));
        } catch (const RegistryError& e) {
            if (!firstFailure) firstFailure = e;
        }
    };
    for (std::size_t i = 0; i + 2 < vItems.size(); i += 3) {
        const std::string verb = sClassName + "\\shell\\" + ValueText(vItems[i]);
        step(verb, vItems[i + 1]);
        step(verb + "\\command", vItems[i + 2]);
    }
    if (firstFailure) throw *firstFailure;
}

}  // namespace marlin::platform
