#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace marlin::platform {

// Our own registry, for platforms that have none: typed values under a root, a key path and a
// value name, kept in text files in the registry's export format (see RegistryTextFormat).
//
//   HKEY_LOCAL_MACHINE  the machine store, "<system configuration folder>/marlin/registry.reg"
//   HKEY_CLASSES_ROOT   the same store, below "SOFTWARE\Classes" (where the system keeps it too)
//   HKEY_CURRENT_USER   the user store, "<user configuration folder>/marlin/registry.reg"
//
// Either file can be moved with setStorePath() or, for a whole process, with the environment
// variables MARLIN_REGISTRY_MACHINE and MARLIN_REGISTRY_USER (each names the file itself).
//
// Every call reads the file afresh, so hand edits count at once, and every change rewrites the
// file atomically under a lock, so two programs never lose each other's changes and a crash
// never leaves half a store. A file with lines that cannot be understood is still read (those
// lines are left out), but it is never written: it answers changes with kBadDatabase, so that a
// hand edit gone wrong is not silently thrown away. problems() names the lines.
//
// On Windows the system's own registry holds every root, unless a store has been moved to a file
// as above (the tests do so); storePath() is then "" for the roots the registry holds.
//
// Results are the registry's error numbers, which callers already know how to read.
class RegistryStore {
public:
    static constexpr std::int32_t kClassesRoot = static_cast<std::int32_t>(0x80000000u);
    static constexpr std::int32_t kCurrentUser = static_cast<std::int32_t>(0x80000001u);
    static constexpr std::int32_t kLocalMachine = static_cast<std::int32_t>(0x80000002u);
    static constexpr std::int32_t kUsers = static_cast<std::int32_t>(0x80000003u);

    static constexpr long kSuccess = 0;
    static constexpr long kFileNotFound = 2;
    static constexpr long kPathNotFound = 3;
    static constexpr long kAccessDenied = 5;
    static constexpr long kInvalidHandle = 6;
    static constexpr long kInvalidData = 13;
    static constexpr long kWriteFault = 29;
    static constexpr long kInvalidParameter = 87;
    static constexpr long kDiskFull = 112;
    static constexpr long kMoreData = 234;
    static constexpr long kBadDatabase = 1009;

    static constexpr const char* kMachineStoreVariable = "MARLIN_REGISTRY_MACHINE";
    static constexpr const char* kUserStoreVariable = "MARLIN_REGISTRY_USER";
    static constexpr std::size_t kMaxKeyNameLength = 255;
    static constexpr std::size_t kMaxValueNameLength = 16383;

    // Key and value names are compared without regard to letter case; parts of a key path are
    // separated by "\".
    static long keyExists(std::int32_t root, std::string_view path);
    static long createKey(std::int32_t root, std::string_view path);
    // Deletes a key without subkeys (kAccessDenied when it has some).
    static long deleteKey(std::int32_t root, std::string_view path);
    static long queryValue(std::int32_t root, std::string_view path, std::string_view name,
                           std::uint32_t& type, std::vector<std::uint8_t>& data);
    // Creates the key (and its missing parents) when needed.
    static long setValue(std::int32_t root, std::string_view path, std::string_view name, std::uint32_t type,
                         const std::vector<std::uint8_t>& data);
    static long deleteValue(std::int32_t root, std::string_view path, std::string_view name);
    // Value names in the order they were first written; subkey names in name order.
    static long listValueNames(std::int32_t root, std::string_view path, std::vector<std::string>& names);
    static long listSubkeyNames(std::int32_t root, std::string_view path, std::vector<std::string>& names);

    // The lines of the root's store file that could not be understood, with their numbers.
    static std::vector<std::string> problems(std::int32_t root);

    // The file that holds `root`; "" for a root we do not keep (or that the system's registry holds).
    static std::string storePath(std::int32_t root);
    // Moves the machine store (kLocalMachine, which also holds kClassesRoot) or the user store
    // (kCurrentUser) to `path`; "" goes back to the variable or the default.
    static void setStorePath(std::int32_t root, const std::string& path);

    // The text of a root as it appears in key lines ("HKEY_LOCAL_MACHINE"); "" for others.
    static std::string rootName(std::int32_t root);
};

}  // namespace marlin::platform
