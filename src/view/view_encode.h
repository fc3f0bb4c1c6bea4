// Compact columns for the replay viewer: a column of per-frame integers is
// stored as run-length pairs (delta from the previous value, run length),
// each a zig-zag varint, the bytes in base64. A standing player costs one
// pair however long it stands; a moving one about two bytes per change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Appends v as a zig-zag LEB128 varint.
void appendVarint(std::vector<std::uint8_t>& out, std::int64_t v);

// The run-length pairs of a column's deltas, as varint bytes.
std::vector<std::uint8_t> encodeColumn(const std::vector<std::int32_t>& values);

std::string base64(const std::vector<std::uint8_t>& bytes);
