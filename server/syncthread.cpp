#include "server/syncthread.h"

namespace qm {
// stub
TSyncThread* SyncThread = nullptr;
TSyncThread::TSyncThread(EngineContext& ctx, bool) : ctx_(ctx) {}
TSyncThread::~TSyncThread() { Terminate(); WaitFor(); }
void TSyncThread::CheckTarget() {}
void TSyncThread::SyncAll(std::vector<TTagItem>&, const std::string&) {}
void TSyncThread::Execute() {}
void TSyncThread::Tick(unsigned) {}
void TSyncThread::DueRun() {}
}  // namespace qm
