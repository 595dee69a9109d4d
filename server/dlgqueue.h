// The dialog queue: problems found on the sync thread wait here until the main thread's dialog
// timer shows them, one dialog at a time, oldest first.
//
// Threads: Add runs on any thread (the sync thread in the server); Pump on the main thread. The
// guard is held for one list operation at a time and never while a dialog is open, so that a
// report never waits for the user.
#pragma once

#include "base/window.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace qm {

struct DialogEntry {
  std::string text;
  int kind = 0;
};

// The fields of an entry's text "message|headline|caption" (or "message|caption").
struct DialogFields {
  std::string message;
  std::string headline;
  std::string caption;
};
DialogFields SplitDialogText(const std::string& text);

// Single-byte text compared by the system's case mapping.
bool SameTextIgnoringCase(const std::string& a, const std::string& b);

// How the pump shows what it takes; the server form fills it with its message box, its
// warning dialog and its save.
struct DialogPresenter {
  std::function<void(const DialogFields&)> showMessage;
  // Shows the warning dialog modally and returns its result (6 Silence, 1 Ok, 2 closed).
  std::function<int(const DialogFields&, bool showSilence)> showWarning;
  std::function<void()> silence;  // the user chose "Silence"
};

class TDialogQueue {
 public:
  void Add(const std::string& text, int kind);
  size_t Size() const;
  std::vector<DialogEntry> Entries() const;  // a copy, oldest first
  void Clear();

  // One tick of the dialog timer: switches timer off, shows the oldest entry by its kind,
  // drops every queued entry with the same text whatever its kind, and switches timer on
  // again. timer may be null.
  void Pump(Timer* timer, const DialogPresenter& presenter);

 private:
  bool TakeFirst(DialogEntry& entry);
  void RemoveSameText(const std::string& text);
  static void Show(const DialogEntry& entry, const DialogPresenter& presenter);

  mutable std::mutex lock_;
  std::deque<DialogEntry> entries_;
};

}  // namespace qm
