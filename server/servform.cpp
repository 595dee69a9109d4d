#include "server/servform.h"

#include "base/registry.h"
#include "base/thread.h"
#include "server/logthread.h"
#include "server/syncthread.h"
#include "tools/tools.h"

#include <cmath>

namespace qm {

TfrQuillmereServ* frQuillmereServ = nullptr;

namespace {

constexpr int64_t kOneHourMs = 3600000;

std::string TagsQuantityText(size_t count) { return "Tags quantity: " + std::to_string(count); }

// Runs one step of the shut-down; a failure in it must not keep the next steps from running.
template <class Step>
void Guarded(Step step) {
  try {
    step();
  } catch (...) {
  }
}

}  // namespace

TfrQuillmereServ::TfrQuillmereServ(ServerEnvironment env) : env_(std::move(env)) {
  if (!env_.clock) env_.clock = &SystemClock();
  frQuillmereServ = this;

  formWnd_ = std::make_unique<FunctionWindow>([this](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
      Exit1Click();
      return LRESULT{0};
    }
    // Windows may end the process as soon as this returns: the end runs here, in full.
    if (msg == WM_ENDSESSION) {
      if (wp) EndSession();
      return LRESULT{0};
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  });
  formWnd_->Create("TfrQuillmereServ", HiddenWindow::Kind::TopLevel, "frQuillmereServ");

  tmrRefresh = std::make_unique<Timer>(300, [this] { tmrRefreshTimer(); });
  tmrRefresh->SetEnabled(true);
  tmrDlg = std::make_unique<Timer>(1000, [this] { tmrDlgTimer(); });

  VolumeProbe& volumes = env_.volumes ? *env_.volumes : SystemVolumeProbe();
  engine_.reset(new EngineContext{
      core, *env_.clock, volumes,
      [this](const std::string& text, int kind) { QueueDialog(text, kind); },
      [](const std::string& text) { LogLine(text); },
      [this] {
        bool read = true;
        MainThreadCalls::Run([this, &read] { read = !LoadConfigFile().held; });
        return read;
      },
      [this] { SaveConfig(); },
      nullptr, nullptr, env_.copyFile});
}

TfrQuillmereServ::~TfrQuillmereServ() {
  if (created_) FormDestroy();  // the steps done already are not done again
  tmrRefresh.reset();
  tmrDlg.reset();
  ctrlWnd_.reset();
  formWnd_.reset();
  if (frQuillmereServ == this) frQuillmereServ = nullptr;
}

void TfrQuillmereServ::FormCreate() {
  if (created_) return;
  created_ = true;

  core.SetNextSync(NeverSyncDate);
  FDlgQueue.Clear();
  FillFmtSettings("DD-MM-yyyy");
  core.SetLastSync(NeverSyncDate);
  // The server runs on without an icon when the shell does not take it.
  Guarded([this] { AddTrayIcon(); });

  ctrlWnd_ = std::make_unique<FunctionWindow>(
      [this](HWND, UINT msg, WPARAM wp, LPARAM lp) { return ControlWndProc(msg, wp, lp); });
  ctrlWnd_->Create(kServerControlClass, HiddenWindow::Kind::MessageOnly);

  core.SetTags({});
  core.SetSyncPeriod(1.0 / 24);
  FInstallDir = env_.programFolder;
  FConfPath = FInstallDir + "conf.xml";
  PublishInRegistry();
  config_ = std::make_unique<ConfigFile>(FConfPath, *env_.clock);
  core.SetTargetPath(FInstallDir + "Default Target\\");

  LogThread = new TLogThread(FInstallDir);
  LogLine("QuillmereServer# Started.");

  LoadConfig();
  core.FSilent = false;
  SaveConfig();

  core.SetNextSync(FirstDueTime(env_.clock->Now(), core.NextSync(), core.SyncPeriod()));

  if (env_.startThreads) SyncThread = new TSyncThread(*engine_);
  tmrDlg->SetEnabled(true);
}

void TfrQuillmereServ::FormDestroy() {
  if (!created_) return;
  RunShutDown(/*sessionEnds=*/false);
}

// Each step runs once, in order, whichever call gets to it: the session's end may come while a
// stop waits for the sync thread further down this thread's stack, and Windows may end the
// process as soon as that inner call has answered, so the inner call does what is left itself.
// No step only passes time: the sync thread's and the log thread's waits end when they are
// told to end, and the log thread writes its queue before it ends, so a fixed pause for it
// would only hold back the answer to the session's end.
void TfrQuillmereServ::RunShutDown(bool sessionEnds) {
  // At the session's end the icon goes after the answer: the shell may take seconds to take it
  // (Wine's takes two; on Windows the taskbar may be ending itself), and the end of the session
  // takes it away in any case. The Restart Manager's close waits for the program's own end.
  if (!trayGone_ && !sessionEnds) {
    trayGone_ = true;
    Guarded([this] {
      RemoveTrayIcon();
      // Nothing should touch the icon that is gone while the rest of the shut-down runs.
      tmrRefresh->SetEnabled(false);
    });
  }
  if (!controlGone_) {
    controlGone_ = true;
    // The object stays until the form goes: the end may run inside one of its messages.
    Guarded([this] {
      if (ctrlWnd_) ctrlWnd_->Destroy();
    });
  }
  Guarded([this] { EndSyncThread(); });
  if (!stoppedLogged_) {
    stoppedLogged_ = true;
    LogLine("QuillmereServer# Stoped.");
  }
  Guarded([this] { EndLogThread(); });
  // A thread still running may use the tag list and the queue until the process ends.
  if (threadLeft_ || sessionEnds) return;
  Guarded([this] { core.SetTags({}); });
  Guarded([this] {
    tmrDlg->SetEnabled(false);
    FDlgQueue.Clear();
  });
}

void TfrQuillmereServ::Exit1Click() {
  endAsked_ = true;
  PostQuitMessage(0);
  // The tray menu's own message loop would take the quit for itself and the server would run
  // on: the menu closes now, and PopUpTrayMenu posts the quit again once it has returned.
  if (trayMenuOpen_) EndMenu();
}

void TfrQuillmereServ::EndSession() {
  if (created_) RunShutDown(/*sessionEnds=*/true);
  // The rest of the end (the icon) follows the answer, when the message loop has ended.
  Exit1Click();
}

void TfrQuillmereServ::EndSyncThread() {
  if (!SyncThread || syncThreadLeft_) return;
  // Terminate lifts any hold of cmdSuspend, stops the copy in hand and ends a run at its next
  // file, wakes the thread's pauses and gives it the normal priority; WaitFor serves the reload
  // that the run may be waiting for, and the messages sent meanwhile.
  SyncThread->Terminate();
  const bool first = !endingSyncThread_;
  endingSyncThread_ = true;
  const bool ended = SyncThread->WaitFor(kSyncEndWaitMs);
  if (!ended && !syncThreadLeft_) LeaveSyncThread();
  if (!first) return;  // the call that came first frees the thread
  endingSyncThread_ = false;
  if (!ended || syncThreadLeft_) return;
  delete SyncThread;
  SyncThread = nullptr;
}

// The sync thread is held up in a step that no stop reaches (on Wine every copy runs to its end;
// on Windows a volume may stop answering): the results of the tags the run has finished are
// saved from here, within the time that the session's end allows, and the thread is left to
// the end of the process.
void TfrQuillmereServ::LeaveSyncThread() {
  syncThreadLeft_ = threadLeft_ = true;
  core.TakeUnfinishedRun();
  if (!core.HasUnsavedRunResults() || !config_) return;
  try {
    config_->Save(core, nullptr, kEndSaveWaitMs);
  } catch (...) {
  }
}

void TfrQuillmereServ::EndLogThread() {
  if (!LogThread || logEnded_) return;
  logEnded_ = true;
  LogThread->Terminate();
  // Its last pass writes what is queued, "Stoped." included. One held up in its writing (a
  // log on a volume that no longer answers) is left to the end of the process, as is the
  // writer whose sync thread may still queue lines.
  if (!LogThread->WaitFor(kLogEndWaitMs)) threadLeft_ = true;
  if (threadLeft_) return;
  delete LogThread;
  LogThread = nullptr;
}

void TfrQuillmereServ::LoadConfig() { LoadConfigFile(); }

LoadOutcome TfrQuillmereServ::LoadConfigFile() {
  LoadOutcome outcome;
  try {
    if (config_) outcome = config_->Load(core, env_.clock->Now());
  } catch (...) {
    // The load keeps whatever it reached; nothing is reported.
  }
  agsquantity1Text = TagsQuantityText(core.TagCount());
  // Results of runs that no save has written yet reach conf.xml at once.
  if (outcome.tookRunResults) SaveConfig();
  return outcome;
}

void TfrQuillmereServ::SaveConfig() {
  try {
    bool tookNewerFile = false;
    if (config_) config_->Save(core, &tookNewerFile);
    // The file that the save took in may hold other tags; the tray caption belongs to the
    // main thread.
    if (tookNewerFile)
      MainThreadCalls::Run([this] { agsquantity1Text = TagsQuantityText(core.TagCount()); });
  } catch (...) {
    // A failed save is dropped; the next save writes the file again.
  }
}

HWND TfrQuillmereServ::FCtrlWnd() const { return ctrlWnd_ ? ctrlWnd_->hwnd() : nullptr; }

HWND TfrQuillmereServ::FormHandle() const { return formWnd_ ? formWnd_->hwnd() : nullptr; }

DateTime TfrQuillmereServ::RoundDownTime(bool hourly, DateTime t) {
  DateTimeParts parts = DecodeDateTime(t);
  parts.second = 0;
  parts.millisecond = 0;
  if (hourly) parts.minute = 0;
  DateTime result = t;
  return TryEncodeDateTime(parts, result) ? result : t;
}

DateTime TfrQuillmereServ::FirstDueTime(DateTime now, DateTime nextSync, double periodDays) {
  if (!(now > nextSync)) return nextSync;
  // Compared in whole milliseconds: a period of exactly one hour read from conf.xml must not
  // count as longer through a rounding difference in its day fraction.
  const bool hourly = std::llround(periodDays * kMsPerDay) > kOneHourMs;
  return RoundDownTime(hourly, now) + periodDays;
}

void TfrQuillmereServ::PublishInRegistry() {
  auto key = RegistryKey::OpenOrCreate(HKEY_LOCAL_MACHINE, env_.registryKey, KEY_ALL_ACCESS);
  if (!key) return;
  // A value of another type than string cannot name a folder; it is treated as missing and
  // replaced, so that this server and the front end agree on one installation folder.
  const std::optional<std::string> installDir = key->ReadString(kInstallDirValue);
  if (installDir && !installDir->empty()) {
    FInstallDir = *installDir;
    FConfPath = *installDir + "conf.xml";
  } else {
    key->WriteString(kInstallDirValue, env_.programFolder);
  }
  key->WriteInteger(kHandleValue, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(FCtrlWnd())));
}

}  // namespace qm
