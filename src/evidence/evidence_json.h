// The evidence as JSON members, the one set of names that replaytool
// evidence --json and the C API share (docs/format.md, "The evidence").
#pragma once

#include <string>

#include "evidence/evidence.h"
#include "evidence/file_facts.h"

// "reach", "horizon", "frames", "died", "edgesInGame", "cut",
// "framesStepped", "edges", "summary", "facts", without braces.
std::string evidenceJsonFields(const Evidence& evidence, const FileFacts& facts);

// "summary"'s object, and "cut"'s value (null, or the reason and frame).
std::string evidenceSummaryJson(const Evidence& evidence);
std::string evidenceCutJson(const Evidence& evidence);
// {"cut", "summary"}: the evidence beside a verdict (show --json, check
// --evidence --json), under the same names.
std::string evidenceBriefJson(const Evidence& evidence);

// "dies", "none", or "floor" for a landing.
const char* outcomeName(const EdgeOutcome& outcome);
