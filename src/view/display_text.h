// Text as replaytool shows it to people, and as runaudit shows a replay's
// name and date on a terminal: valid UTF-8 as it is, every byte that could
// move the cursor, end a line, change the terminal or reorder what follows
// written as an escape instead.
//
//   \t \n \r    tab, line feed, carriage return
//   \xHH        each byte of anything else escaped: C0 controls and DEL,
//               C1 controls (U+0080-U+009F), bidirectional controls
//               (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069),
//               line and paragraph separators (U+2028, U+2029), and every
//               byte that is not part of valid UTF-8
//
// A backslash is shown as it is, never doubled, so that a path (a Windows
// one above all) reads as typed; the exact bytes are for the text form
// (unpack) and show --json.
#pragma once

#include <cstddef>
#include <string>

std::string displayText(const char* bytes, std::size_t size);
inline std::string displayText(const std::string& text) { return displayText(text.data(), text.size()); }
