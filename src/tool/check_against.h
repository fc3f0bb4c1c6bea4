// check --against OLD.jsonl: the lines an earlier check --json printed,
// and what changed since, file by file.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

// A JSON object's top-level members as raw JSON text, in order; false when
// the text is not one object.
bool jsonMembers(const std::string& text, std::vector<std::pair<std::string, std::string>>& members);

// The old results by file: "file" and "fileHex" as printed, joined, to the
// line's members.
using OldResults = std::map<std::string, std::vector<std::pair<std::string, std::string>>>;

// Reads OLD ("-": standard input). False with the reason in `error`: the
// file cannot be read, or a line is not an object with a "file".
bool readOldResults(const std::string& path, OldResults& old, std::string& error);

// For one check --json line: "" when OLD's line for the same file agrees
// on every fact compared, else the tab-separated changes, "KEY OLD -> NEW"
// (raw JSON values), or "new: not in OLD" for a file OLD does not have. A
// fact OLD's line does not hold (an older checker's) is not compared.
std::string changesSince(const OldResults& old, const std::string& line);
