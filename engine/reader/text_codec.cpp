#include "engine/reader/text_codec.h"

namespace engine {

void AppendUtf8(uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

namespace {

std::string DecodeUtf16(const uint8_t* data, size_t size, bool bigEndian, bool stopAtZero) {
  constexpr uint32_t kReplacement = 0xFFFD;
  std::string out;
  out.reserve(size);
  auto unit = [&](size_t i) -> uint32_t {
    return bigEndian ? (data[i] << 8 | data[i + 1]) : (data[i + 1] << 8 | data[i]);
  };
  size_t i = 0;
  for (; i + 1 < size; i += 2) {
    uint32_t u = unit(i);
    if (u == 0 && stopAtZero) return out;
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < size) {
      uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), out);
        i += 2;
        continue;
      }
    }
    AppendUtf8(u >= 0xD800 && u <= 0xDFFF ? kReplacement : u, out);
  }
  if (i < size) AppendUtf8(kReplacement, out);  // an odd byte count: a cut-off character
  return out;
}

std::string Decode(const uint8_t* data, size_t size, format::TextEncoding encoding,
                   bool stopAtZero) {
  switch (encoding) {
    case format::TextEncoding::Utf16le:
      return DecodeUtf16(data, size, false, stopAtZero);
    case format::TextEncoding::Utf16be:
      return DecodeUtf16(data, size, true, stopAtZero);
    case format::TextEncoding::Utf8:
      break;
  }
  size_t length = size;
  if (stopAtZero) {
    for (length = 0; length < size && data[length] != 0; ++length) {
    }
  }
  return std::string(reinterpret_cast<const char*>(data), length);
}

}  // namespace

std::string DecodeText(const uint8_t* data, size_t size, format::TextEncoding encoding) {
  return Decode(data, size, encoding, false);
}

std::string DecodeTextToZero(const uint8_t* data, size_t size, format::TextEncoding encoding) {
  return Decode(data, size, encoding, true);
}

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    const int extra = (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) return false;
    uint32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
    i += 1 + extra;
  }
  return true;
}

}  // namespace engine
