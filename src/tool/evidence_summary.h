// The evidence's summary where a moderator meets it beside the verdict:
// show's line and check's field, one wording, and the analysis behind them
// run on the bytes the command has already read.
#pragma once

#include <optional>
#include <string>

#include "evidence/evidence.h"
#include "tool/tool_common.h"

// The evidence of `image` with the default reach and horizon; none when
// the bytes do not load.
std::optional<Evidence> imageEvidence(const ReplayImage& image);

// "125 decisive, 3 frame-perfect (2.4%), longest run 1", and where the
// analysis stopped when it was cut (check's field).
std::string evidenceSummaryText(const Evidence& evidence);

// show's line after its label: the same numbers, the longest run's frames.
std::string evidenceShowText(const Evidence& evidence);
