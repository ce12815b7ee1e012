#pragma once
// Host name resolution for the recorder: a host name or dotted address to a dotted IPv4 address
// text, and back. Failures give the empty text.

#include <cstdint>
#include <string>

namespace marlin {

class ClsIPResolve {
public:
    ClsIPResolve();
    ~ClsIPResolve();
    ClsIPResolve(const ClsIPResolve&) = delete;
    ClsIPResolve& operator=(const ClsIPResolve&) = delete;

    // The host's first IPv4 address as "a.b.c.d", or empty when the name does not resolve.
    std::string NameToAddress(const std::string& name) const;
    // The host's official name for a dotted address, or empty.
    std::string AddressToName(const std::string& address) const;

    bool socketsReady() const { return socketsReady_; }

    // At least four parts separated by "." and every part a number from 0 to 255.
    static bool IsDottedAddress(const std::string& text);
    // The address as it lies in memory in network byte order: first part in the lowest byte.
    static std::int32_t DottedToLong(const std::string& text);
    // The text up to its first NUL character.
    static std::string TrimAtNul(const std::string& text);

private:
    bool socketsReady_ = false;
};

}  // namespace marlin
