// Stand-ins for the clock and the volumes, and an engine context that records what the engine
// reports, so that engine tests run hundreds of one-second ticks in milliseconds and can make
// a target volume vanish or fill up.
//
// Threads: every fake may be used from the worker under test and from the test's thread at
// once; each guards its state with its own lock.
#pragma once

#include "support/fakeclock.h"
#include "server/engine.h"
#include "server/probe.h"
#include "server/servercore.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace qm::test {

// Volumes that answer as the test says. Every root answers until told otherwise.
class FakeVolumeProbe final : public VolumeProbe {
 public:
  bool VolumeAnswers(const std::string& root) override;
  bool FreeBytes(char driveLetter, uint64_t& bytes) override;

  void SetAnswers(bool answers);  // for every root without an answer of its own
  void SetAnswers(const std::string& root, bool answers);
  void SetThrows(bool throws);    // the volume query raises
  void SetFreeBytes(char driveLetter, uint64_t bytes);
  void SetFreeUnreadable(char driveLetter);

  unsigned Queries() const;
  std::vector<std::string> RootsAsked() const;

 private:
  mutable std::mutex lock_;
  bool answers_ = true;
  bool throws_ = false;
  std::map<std::string, bool> rootAnswers_;
  std::map<char, uint64_t> free_;  // missing letter: plenty free
  std::map<char, bool> unreadable_;
  std::vector<std::string> asked_;
};

// An engine context over its own core, fake clock and fake volumes that records the dialogs,
// log lines, reloads and saves that the engine asks for. onReload and onSave run on the calling
// (engine) thread, before the call is counted.
class FakeEngine {
 public:
  FakeEngine();
  FakeEngine(const FakeEngine&) = delete;
  FakeEngine& operator=(const FakeEngine&) = delete;

  ServerCore core;
  FakeClock clock;
  FakeVolumeProbe volumes;
  std::function<void()> onReload;
  std::atomic<bool> confHeld{false};  // the reload finds conf.xml held by a writer
  std::function<void()> onSave;
  EngineContext ctx;

  std::vector<std::pair<std::string, int>> Dialogs() const;
  std::vector<std::string> LogLines() const;
  unsigned Reloads() const;
  unsigned Saves() const;

  // What conf.xml held at each save, as far as the engine's shared state goes.
  struct SavedState {
    ServerSettings settings;
    bool silent = false;
    std::vector<TTagItem> tags;
  };
  std::vector<SavedState> SavedStates() const;

 private:
  mutable std::mutex lock_;
  std::vector<std::pair<std::string, int>> dialogs_;
  std::vector<std::string> lines_;
  unsigned reloads_ = 0;
  std::vector<SavedState> saved_;
};

// A tag item with the fields that tests compare; TargetSub stays empty.
TTagItem MakeTag(const std::string& path, const std::string& caption, uint8_t ftype,
                 uint32_t kb, DateTime lastSync);

}  // namespace qm::test
