// Hidden windows whose window procedure is bound to an object: the class procedure stores the
// object at WM_NCCREATE and forwards every later message to its OnMessage. No exception crosses
// the procedure.
#pragma once

#include "base/handles.h"

#include <functional>
#include <string>

namespace qm {

class HiddenWindow {
 public:
  enum class Kind {
    MessageOnly,  // receives posted and sent messages only (HWND_MESSAGE parent)
    TopLevel,     // hidden top-level tool window: gets broadcasts, can be made foreground
  };

  HiddenWindow() = default;
  virtual ~HiddenWindow();
  HiddenWindow(const HiddenWindow&) = delete;
  HiddenWindow& operator=(const HiddenWindow&) = delete;

  // Registers the class on first use and creates the window; false on failure.
  bool Create(const std::string& className, Kind kind, const std::string& title = "");
  void Destroy();
  HWND hwnd() const { return hwnd_; }

 protected:
  // Default: DefWindowProcA.
  virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND hwnd_ = nullptr;
};

// A window whose messages go to a function: for windows with one small job.
class FunctionWindow : public HiddenWindow {
 public:
  using Handler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;
  explicit FunctionWindow(Handler handler) : handler_(std::move(handler)) {}

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  Handler handler_;
};

// A main-thread timer: SetTimer on a window of its own, so its ticks are also delivered by the
// modal loops of message boxes and dialogs.
class Timer {
 public:
  Timer(unsigned intervalMs, std::function<void()> onTick);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  unsigned Interval() const { return interval_; }

 private:
  class TimerWindow;
  unsigned interval_;
  std::function<void()> onTick_;
  bool enabled_ = false;
  HiddenWindow* window_ = nullptr;
};

// Runs the calling thread's message loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

}  // namespace qm
