// A check's result as replaytool prints it: the one set of JSON fields that
// check --json and show --json share with the C API's result record.
#pragma once

#include <cstddef>
#include <string>

#include "api/runaudit.h"

// The result's fields as JSON members, without braces:
//   "verdict":"valid"|"invalid"|"error","error":null|"message",
//   "rejection":null|"too-short"|...,"why":null|"sentence",
//   "size":{"needed":N,"present":N}|null,"checksum":{"stored":N,"computed":N}|null,
//   "frames":N,"ended":{"frame":N,"record":N,"frameInRecord":N}|null,
//   "aliveAt":null|"end marker"|"records exhausted","endMarkerRecord":N|null,
//   "markerFollows":bool,"highestFloor":N,"bestCombo":N,"comboScore":N,
//   "speedLevel":N,"claimed":{"score":N,"floor":N,"combo":N},
//   "claims":"match"|"differ","gameDigest":"64 hex digits"
// For a replay that did not load, every field after "checksum" is null;
// for one that did, "rejection" to "checksum" are.
std::string resultJsonFields(const runaudit_result& result);

// "checker":"runaudit VERSION": which checker judged, in every JSON object
// that reports a judgement, first (after the "file" it names, if any).
std::string checkerJsonField();

// The game digest as 64 lower-case hex digits.
std::string gameDigestHex(const runaudit_result& result);

// The whole result as one JSON object: "checker", the fields above, then "header"
// (its fields as stored, the name and date as text; null for a file that
// did not load).
std::string resultJson(const runaudit_result& result);

// How the claims differ from the game: "floor 900 claimed, 93 reached",
// then the combo likewise, joined by "; ". Empty when they match.
std::string claimsDifference(const runaudit_result& result);

// Why a file was refused, in plain words (the text after the loader's
// message, the same in show, check and the library); "" for a replay that
// loaded. formatRejection writes it as snprintf does, allocating nothing.
int formatRejection(const runaudit_result& result, char* buffer, std::size_t size);
std::string rejectionText(const runaudit_result& result);
