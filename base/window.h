// Windows and dialogs bound to objects, hidden windows, main-thread timers and the message loop.
// No exception crosses a window or dialog procedure.
#pragma once

#include "base/handles.h"

#include <functional>
#include <string>

namespace qm {

// The one window base: Create binds the object to its window at WM_NCCREATE, and every later
// message goes to OnMessage, whose default cracks the common messages into the typed OnXxx
// handlers below and hands the rest to DefWindowProc. A subclass that takes messages of its own
// overrides OnMessage for those and passes the others on to Window::OnMessage.
class Window {
 public:
  struct Params {
    std::string className;
    std::string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
    int width = CW_USEDEFAULT, height = CW_USEDEFAULT;
    HWND parent = nullptr;  // HWND_MESSAGE for a window that only receives messages
    HMENU menu = nullptr;   // destroyed with the window once it is created
    HICON icon = nullptr;
    HBRUSH background = nullptr;
  };

  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Registers the class on first use and creates the window; false on failure.
  bool Create(const Params& params);
  void Destroy();
  HWND hwnd() const { return hwnd_; }

 protected:
  virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT DefaultProc(UINT msg, WPARAM wp, LPARAM lp);

  // Typed handlers; each default does what DefWindowProc would.
  virtual bool OnCreate() { return true; }  // false makes Create fail
  virtual void OnCommand(int id, int notifyCode, HWND control) {}
  virtual LRESULT OnNotify(NMHDR& header) { return 0; }
  virtual void OnTimer(UINT_PTR id) {}
  virtual void OnClose() { DestroyWindow(hwnd_); }
  virtual void OnDestroy() {}
  virtual void OnSize(int clientWidth, int clientHeight) {}
  virtual void OnGetMinMaxInfo(MINMAXINFO& info) {}
  // Return false to leave the message to DefWindowProc.
  virtual bool OnHelp(const HELPINFO& info) { return false; }
  virtual bool OnContextMenu(HWND window, POINT screen) { return false; }
  virtual bool OnCopyData(HWND sender, const COPYDATASTRUCT& block) { return false; }
  // A brush for a static control's background, or null for the default.
  virtual HBRUSH OnCtlColorStatic(HDC dc, HWND control) { return nullptr; }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND hwnd_ = nullptr;
};

// A modal dialog bound to an object at WM_INITDIALOG, with typed handlers like Window's. The
// dialog exists only while ShowModal runs.
class Dialog {
 public:
  Dialog() = default;
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // From a dialog resource of the program, or from a template built in memory; returns the
  // value given to End, or -1 when the dialog could not be shown.
  INT_PTR ShowModal(HWND owner, int resourceId);
  INT_PTR ShowModal(HWND owner, const DLGTEMPLATE* dialogTemplate);
  HWND hwnd() const { return hwnd_; }  // null while not shown
  void End(INT_PTR result);

 protected:
  virtual INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp);

  virtual bool OnInitDialog() { return true; }  // true: the system sets the focus
  virtual void OnCommand(int id, int notifyCode, HWND control) {}
  virtual LRESULT OnNotify(NMHDR& header) { return 0; }
  virtual void OnClose() { End(IDCANCEL); }
  virtual HBRUSH OnCtlColorStatic(HDC dc, HWND control) { return nullptr; }

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND hwnd_ = nullptr;
};

// A hidden window: message-only, or a top-level tool window that also gets broadcasts.
class HiddenWindow : public Window {
 public:
  enum class Kind {
    MessageOnly,  // receives posted and sent messages only (HWND_MESSAGE parent)
    TopLevel,     // hidden top-level tool window: gets broadcasts, can be made foreground
  };

  // Registers the class on first use and creates the window; false on failure.
  bool Create(const std::string& className, Kind kind, const std::string& title = "");

 protected:
  // Hidden windows take every message raw; the default is DefWindowProcA.
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override { return DefaultProc(msg, wp, lp); }
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

// Runs the calling thread's message loop until WM_QUIT; returns its exit code. With a window and
// an accelerator table, key strokes for that window (or its controls) go through the table, and
// dialog keys (Tab between controls) work in it.
int RunMessageLoop(HWND window = nullptr, HACCEL accelerators = nullptr);

}  // namespace qm
