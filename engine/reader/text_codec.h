// Text of the damaged file in the database's encoding, turned into the engine's
// UTF-8 once, when it is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/reader/format.h"

namespace engine {

// Decodes `size` bytes of text stored in `encoding`. UTF-8 is kept byte for byte;
// UTF-16 becomes UTF-8, an unpaired surrogate or an odd last byte becoming U+FFFD.
std::string DecodeText(const uint8_t* data, size_t size, format::TextEncoding encoding);

// The same, up to the first zero character: how names and CREATE texts are read.
std::string DecodeTextToZero(const uint8_t* data, size_t size, format::TextEncoding encoding);

// Whether `s` is well-formed UTF-8: no stray continuation bytes, no sequence cut
// short, no overlong form, surrogate or code point past U+10FFFF.
bool IsValidUtf8(std::string_view s);

// Appends code point `cp` to `out` as UTF-8.
void AppendUtf8(uint32_t cp, std::string& out);

}  // namespace engine
