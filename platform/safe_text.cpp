#include "platform/safe_text.h"

#include <cstdint>

namespace platform {
namespace {

// The length of the well-formed UTF-8 sequence that `text` starts with, or 0 when
// its first byte starts none (Unicode's table of well-formed byte sequences: no
// overlong forms, no surrogates, nothing above U+10FFFF, no cut sequence).
size_t SequenceLength(std::string_view text) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  uint8_t low = 0x80;   // the bounds of the second byte; the later ones are 80..BF
  uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // shorter forms of U+0000..U+07FF
    if (lead == 0xED) high = 0x9F;  // the surrogates U+D800..U+DFFF
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // shorter forms of U+0000..U+FFFF
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;  // a continuation byte, or a lead byte no well-formed sequence has
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

// Whether the sequence of `length` bytes at the start of `text` is a control
// character: C0, DEL, or C1 (U+0080..U+009F, C2 80..C2 9F), which some terminals
// obey as they do escape sequences.
bool IsControl(std::string_view text, size_t length) {
  const auto lead = static_cast<uint8_t>(text[0]);
  if (length == 1) return lead < 0x20 || lead == 0x7F;
  return length == 2 && lead == 0xC2 && static_cast<uint8_t>(text[1]) <= 0x9F;
}

// `text` with every control character and every byte outside well-formed UTF-8
// replaced by `replacement`, except the characters `keep` says stay.
template <typename Keep>
std::string Replaced(std::string_view text, char replacement, Keep keep) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const size_t length = SequenceLength(text);
    if (length == 0) {
      out += replacement;  // one replacement per stray byte; the next byte starts afresh
      text.remove_prefix(1);
      continue;
    }
    if (IsControl(text, length) && !keep(text[0])) {
      out += replacement;
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return out;
}

}  // namespace

std::string SafeFileName(std::string_view name) {
  std::string safe = Replaced(name, '_', [](char) { return false; });
  for (char& c : safe) {
    if (c == '/' || c == '\\') c = '_';
  }
  // The empty name and the two dot names name no file of their own: a folder.
  if (safe.empty() || safe == ".") return "_";
  if (safe == "..") return "__";
  return safe;
}

std::string SafeLineText(std::string_view text, Tabs tabs) {
  return Replaced(text, '?', [tabs](char c) { return c == '\t' && tabs == Tabs::Keep; });
}

}  // namespace platform
