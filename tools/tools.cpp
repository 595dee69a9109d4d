#include "tools/tools.h"

namespace qm {
// stub
FormatSettings FmtSettings;
void FillFmtSettings(const std::string&) {}
std::string DateTimeToText(DateTime, const FormatSettings&) { return {}; }
bool TryTextToDateTime(const std::string&, DateTime&, const FormatSettings&) { return false; }
DateTime TextToDateTime(const std::string&, const FormatSettings&) { return 0; }
void CloseRunningCopies(int) {}
bool ImageMatchesMode(const std::string&, int) { return false; }
std::string XmlElementLine(const std::string&, const std::string&) { return {}; }
std::string XmlEscapeText(const std::string& v) { return v; }
bool ForceDirChain(const std::string&, const std::string&) { return false; }
int32_t BytesToKB(int32_t) { return 1; }
int32_t BytesToKB64(uint64_t) { return 1; }
}  // namespace qm
