// Problem reporting: a dialog queued by kind (honouring the silent flag) and one log line.
#pragma once

#include "server/engine.h"

#include <string>

namespace qm {

enum ProblemKind { pkGeneral = 0, pkNoTarget = 1, pkDiskFull = 2 };
enum DialogKind { dkMessage = 1, dkWarnSilence = 2, dkWarn = 3 };

extern const char* const kNoTargetText;
extern const char* const kDiskFullText;

void ReportProblem(EngineContext& ctx, const std::string& text, int kind);

}  // namespace qm
