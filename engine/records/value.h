// Typed values of a record, holding exactly the stored content, and the text the
// grid shows for them. Nothing here builds SQL: the writer binds the value itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/reader/format.h"
#include "job/contract/value.h"

namespace engine {

using Value = job::Value;

// Decodes a value of `serialType` from the `available` bytes at `data`. Of a text or
// blob cut short only the bytes that exist are kept; a number cut short reads its
// missing bytes as zeros. A text or blob
// is at most `maxSize` bytes: a damaged header may claim more than its record
// holds. Reserved serial types 10 and 11 give NULL.
Value DecodeValue(uint64_t serialType, const uint8_t* data, size_t available,
                  format::TextEncoding encoding, uint64_t maxSize = UINT64_MAX);
// The same into `value`, reusing its storage.
void DecodeValueInto(uint64_t serialType, const uint8_t* data, size_t available,
                     format::TextEncoding encoding, uint64_t maxSize, Value& value);

// A real as SQLite prints it: the shortest text that reads back as the same double,
// with ".0" added to a whole number ("2.5", "0.1", "2.0", "1e-07", "Inf").
std::string FormatReal(double value);

// The value's text without any change: decimal integers, reals as FormatReal, texts
// as stored, blobs as UTF-8 text when they are valid UTF-8 without control
// characters, otherwise as x'…' hexadecimal; NULL as "null".
std::string PlainText(const Value& value);
// The same into `out`, reusing its storage.
void WritePlainText(const Value& value, std::string& out);

// The grid's text: PlainText with line feeds and carriage returns shown as blanks;
// "BIG" for a text or blob of more than 1020 bytes stored inside its cell
// (`storedInCell`); the identifier form of type class 30 for a 17-byte blob whose
// first byte is 16.
std::string GridText(const Value& value, int16_t typeClass, bool storedInCell);
// The same into `out`, reusing its storage.
void WriteGridText(const Value& value, int16_t typeClass, bool storedInCell, std::string& out);

// The identifier rendering: the bytes after a length byte L as upper-case
// hexadecimal with dashes after 8, 12, 16 and 20 digits, in single quotes.
std::string IdentifierText(const std::string& bytes);

}  // namespace engine
