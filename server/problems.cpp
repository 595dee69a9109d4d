#include "server/problems.h"

namespace qm {

const char* const kNoTargetText =
    "1)Reconnect the Target Volume to the PC.\r\n2)Open the Quillmere GUI and define New Target "
    "Volume.\r\n(Silence will Disable this Warning until the Problem has been "
    "Rectified)|WARNING: Quillmere is unable to access the Target Volume.|Harvo Quillmere - "
    "Target Volume Not Accessible";
const char* const kDiskFullText =
    "1)Clear some space on Target Volume.\r\n2)Open the Quillmere GUI and define New Target "
    "Volume|WARNING: Quillmere is unable to access the Target Volume because it is Full|Harvo "
    "Quillmere - Target Volume is Full";

void ReportProblem(EngineContext& ctx, const std::string& text, int kind) {
  std::string logText;
  switch (kind) {
    case pkNoTarget:
      if (!ctx.core.FSilent && ctx.queueDialog) ctx.queueDialog(kNoTargetText, dkWarnSilence);
      logText = "The Target Volume is not available!";
      break;
    case pkDiskFull:
      // A full target is never silenced: nothing more will be copied until it is dealt with.
      if (ctx.queueDialog) ctx.queueDialog(kDiskFullText, dkWarn);
      logText = "The Target Volume is full!";
      break;
    default: {
      if (!ctx.core.FSilent && ctx.queueDialog) ctx.queueDialog(text, dkMessage);
      const size_t bar = text.find('|');
      logText = bar == std::string::npos ? std::string() : text.substr(0, bar);
      break;
    }
  }
  if (ctx.log) ctx.log("QuillmereServer# " + logText);
}

}  // namespace qm
