#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include <marlin/platform/RegistryError.h>

namespace marlin::platform {

// A value of any kind, as the registry class takes and returns it.
using RegValue = std::variant<std::monostate, bool, std::int16_t, std::int32_t, double, std::string,
                              std::vector<std::uint8_t>>;

// Reads and writes one registry value at a time, tests, creates and deletes keys, lists the values
// and subkeys of a key, and registers a file type for a program. Set the addressing properties
// (ClassKey, SectionKey, ValueKey, and ValueType for writing), then read or assign Value or call an
// operation. Nothing stays open between calls.
//
// Off Windows the values live in our own store (marlin/platform/RegistryStore.h); failures are raised as
// RegistryError with the numbers below and the source "<program name>.cRegistry".
class cRegistry {
public:
    static constexpr std::int32_t kClassesRoot = static_cast<std::int32_t>(0x80000000u);
    static constexpr std::int32_t kCurrentUser = static_cast<std::int32_t>(0x80000001u);
    static constexpr std::int32_t kLocalMachine = static_cast<std::int32_t>(0x80000002u);
    static constexpr std::int32_t kUsers = static_cast<std::int32_t>(0x80000003u);

    static constexpr std::int32_t kRegSz = 1;
    static constexpr std::int32_t kRegExpandSz = 2;
    static constexpr std::int32_t kRegBinary = 3;
    static constexpr std::int32_t kRegDword = 4;
    static constexpr std::int32_t kRegDwordBigEndian = 5;
    static constexpr std::int32_t kRegMultiSz = 7;

    static constexpr std::int32_t kErrRegistry = 26001;
    static constexpr std::int32_t kErrWriteValue = static_cast<std::int32_t>(0x800469A9u);
    static constexpr std::int32_t kErrEnumerateSections = static_cast<std::int32_t>(0x800469AAu);
    static constexpr std::int32_t kErrAssociationItems = static_cast<std::int32_t>(0x800469ACu);
    static constexpr std::int32_t kErrClassNotDefined = static_cast<std::int32_t>(0x800469ADu);

    std::int32_t ClassKey() const { return classKey_; }
    void ClassKey(std::int32_t eKey) { classKey_ = eKey; }
    const std::string& SectionKey() const { return sectionKey_; }
    void SectionKey(const std::string& sSectionKey) { sectionKey_ = sSectionKey; }
    const std::string& ValueKey() const { return valueKey_; }
    void ValueKey(const std::string& sValueKey) { valueKey_ = sValueKey; }
    std::int32_t ValueType() const { return valueType_; }
    void ValueType(std::int32_t eValueType) { valueType_ = eValueType; }
    const RegValue& Default() const { return default_; }
    void Default(const RegValue& vDefault) { default_ = vDefault; }

    // True when ClassKey\SectionKey exists.
    bool KeyExists() const;
    // Creates ClassKey\SectionKey with its missing parents.
    bool CreateKey();
    // Deletes SectionKey below ClassKey; a key with subkeys is not deleted.
    bool DeleteKey();
    // Deletes the value named ValueKey.
    bool DeleteValue();

    // The value's data (text, 32-bit number or bytes), or Default when it cannot be read. Sets
    // ValueType to the type found.
    RegValue Value();
    // Writes the value as ValueType says: a text becomes an expandable one when it holds two "%"
    // at least two characters apart; 4 and 5 take whole numbers, written as 32-bit numbers.
    void Value(const RegValue& vValue);

    // Names of the key's values, or of its subkeys, and their number; empty when the key is absent.
    bool EnumerateValues(std::vector<std::string>& sKeyNames, std::int32_t& iKeyCount);
    bool EnumerateSections(std::vector<std::string>& sSect, std::int32_t& iSectCount);

    // Registers the extension sAssociation as class sClassName opened (and optionally printed,
    // created and installed) by the program sExePath.
    void CreateEXEAssociation(const std::string& sExePath, const std::string& sClassName,
                              const std::string& sClassDescription, const std::string& sAssociation,
                              const std::string& sOpenMenuText = "&Open", bool bSupportPrint = false,
                              const std::string& sPrintMenuText = "&Print", bool bSupportNew = false,
                              const std::string& sNewMenuText = "&New", bool bSupportInstall = false,
                              const std::string& sInstallMenuText = "", std::int32_t lDefaultIconIndex = -1);
    // Adds shell verbs to a registered class: vItems holds triples of verb, menu text and command.
    void CreateAdditionalEXEAssociations(const std::string& sClassName, const std::vector<RegValue>& vItems);

    // Writes `text` as the default value into both class roots (HKEY_CLASSES_ROOT\SectionKey and
    // HKEY_LOCAL_MACHINE\SOFTWARE\Classes\SectionKey); leaves ClassKey at HKEY_LOCAL_MACHINE.
    void SetClassesValue(const std::string& text);

    // The four bytes of a number in reverse order.
    static std::int32_t SwapLong(std::int32_t value);
    // Environment references ("%NAME%") replaced by their values; undefined ones stay as written.
    static std::string ExpandEnvString(const std::string& text);
    // A value as text, as it is written into a string value and shown in messages.
    static std::string ValueText(const RegValue& value);
    // "<program name>.cRegistry".
    static std::string ErrorSource();

private:
    [[noreturn]] void raise(std::int32_t number, const std::string& message) const;
    std::string writeFailureMessage(const RegValue& value) const;

    std::int32_t classKey_ = 0;
    std::string sectionKey_;
    std::string valueKey_;
    RegValue lastValue_;
    RegValue default_;
    std::int32_t valueType_ = 0;
};

}  // namespace marlin::platform
