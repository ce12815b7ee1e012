#pragma once
// UTF-8, the text encoding of every string the recorder keeps.

#include <string>

namespace marlin {

// Appends the code point in UTF-8; one that no text may hold (a surrogate, or above U+10FFFF)
// becomes U+FFFD, the replacement character.
void appendUtf8(std::string& out, char32_t codePoint);

}  // namespace marlin
