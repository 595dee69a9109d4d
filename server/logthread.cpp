#include "server/logthread.h"

namespace qm {
// stub
TLogThread* LogThread = nullptr;
TLogThread::TLogThread(const std::string& folder, Clock& clock)
    : fileName_(folder + "quillmere.log"), clock_(clock) {}
TLogThread::~TLogThread() { Terminate(); WaitFor(); }
void TLogThread::AddLine(const std::string&) {}
size_t TLogThread::QueuedLines() const { return 0; }
void TLogThread::Execute() {}
void TLogThread::Flush() {}
bool TLogThread::TakeFirst(std::string&) { return false; }
void LogLine(const std::string& text) { if (LogThread) LogThread->AddLine(text); }
}  // namespace qm
