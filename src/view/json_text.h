// Text for JSON output: strings that stay valid JSON and valid UTF-8
// whatever bytes a replay or a file name holds.
#pragma once

#include <cstddef>
#include <string>

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates
// or code points above U+10FFFF).
bool isValidUtf8(const char* bytes, std::size_t size);

// A quoted JSON string: well-formed UTF-8 kept as text, control characters
// escaped, each byte that is not part of a well-formed sequence replaced by
// U+FFFD. Lossy only where the input is not UTF-8: see hexString.
std::string jsonString(const char* bytes, std::size_t size);

// The bytes as a quoted string of lowercase hex digits: lossless.
std::string hexString(const char* bytes, std::size_t size);

// `"key":"text",` for a file name, followed by `"keyHex":"...",` when the
// name is not UTF-8, so that a script can still find the file.
std::string jsonNameField(const char* key, const char* bytes, std::size_t size);
