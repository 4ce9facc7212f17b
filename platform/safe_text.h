// Text from the damaged file (its name, its object names, errors quoting them) made
// safe for the two places where raw bytes do harm: a file name, and one line of
// console output. Both keep well-formed UTF-8 and replace byte by byte, so a clean
// text comes back unchanged.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// `name` as one component of a path: every control character (U+0000 to U+001F,
// U+007F and the C1 controls U+0080 to U+009F), every path separator ('/' and '\')
// and every byte that is not part of well-formed UTF-8 becomes '_'. A name that
// would be empty, "." or ".." becomes "_", "_" or "__". Thread-safe.
std::string SafeFileName(std::string_view name);

// Whether a tab stays a tab in a line of console output.
enum class Tabs { Replace, Keep };

// `text` as one line of console output: every control character (as above: line
// ends, escape sequences, NUL) and every byte that is not part of well-formed UTF-8
// becomes '?'. A tab stays only when the caller keeps it (a line whose fields are
// tab-separated). Thread-safe.
std::string SafeLineText(std::string_view text, Tabs tabs = Tabs::Replace);

}  // namespace platform
