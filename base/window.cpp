#include "base/window.h"

#include <windowsx.h>

namespace qm {

Window::~Window() { Destroy(); }

bool Window::Create(const Params& params) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  if (!GetClassInfoA(instance, params.className.c_str(), &wc)) {
    wc = WNDCLASSA{};
    wc.lpfnWndProc = &Window::Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = params.icon;
    wc.hbrBackground = params.background;
    wc.lpszClassName = params.className.c_str();
    if (!RegisterClassA(&wc)) {
      if (params.menu) DestroyMenu(params.menu);
      return false;
    }
  }
  HWND hwnd = CreateWindowExA(params.exStyle, params.className.c_str(), params.title.c_str(),
                              params.style, params.x, params.y, params.width, params.height,
                              params.parent, params.menu, instance, this);
  if (!hwnd && params.menu) DestroyMenu(params.menu);
  return hwnd != nullptr && hwnd == hwnd_;
}

void Window::Destroy() {
  if (hwnd_) {
    HWND hwnd = hwnd_;
    hwnd_ = nullptr;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
  }
}

LRESULT Window::DefaultProc(UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT Window::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      return OnCreate() ? 0 : -1;
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<NMHDR*>(lp));
    case WM_TIMER:
      OnTimer(wp);
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_SIZE:
      OnSize(LOWORD(lp), HIWORD(lp));
      return 0;
    case WM_GETMINMAXINFO:
      OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lp));
      return 0;
    case WM_HELP:
      if (OnHelp(*reinterpret_cast<const HELPINFO*>(lp))) return TRUE;
      break;
    case WM_CONTEXTMENU:
      if (OnContextMenu(reinterpret_cast<HWND>(wp), POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}))
        return 0;
      break;
    case WM_COPYDATA:
      if (lp && OnCopyData(reinterpret_cast<HWND>(wp), *reinterpret_cast<const COPYDATASTRUCT*>(lp)))
        return TRUE;
      break;
    case WM_CTLCOLORSTATIC:
      if (HBRUSH brush = OnCtlColorStatic(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp)))
        return reinterpret_cast<LRESULT>(brush);
      break;
  }
  return DefaultProc(msg, wp, lp);
}

LRESULT CALLBACK Window::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
  LRESULT result = 0;
  try {
    result = self->OnMessage(msg, wp, lp);
  } catch (...) {
    result = 0;
  }
  // The window is gone: the object must not keep a handle that may be reused.
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
  }
  return result;
}

INT_PTR Dialog::ShowModal(HWND owner, int resourceId) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resourceId), owner,
                         &Dialog::Proc, reinterpret_cast<LPARAM>(this));
}

INT_PTR Dialog::ShowModal(HWND owner, const DLGTEMPLATE* dialogTemplate) {
  return DialogBoxIndirectParamA(GetModuleHandleA(nullptr), dialogTemplate, owner, &Dialog::Proc,
                                 reinterpret_cast<LPARAM>(this));
}

void Dialog::End(INT_PTR result) {
  if (hwnd_) EndDialog(hwnd_, result);
}

INT_PTR Dialog::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
      return TRUE;
    case WM_NOTIFY:
      SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, OnNotify(*reinterpret_cast<NMHDR*>(lp)));
      return TRUE;
    case WM_CLOSE:
      OnClose();
      return TRUE;
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(
          OnCtlColorStatic(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp)));
  }
  return FALSE;
}

INT_PTR CALLBACK Dialog::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) {
    auto* self = reinterpret_cast<Dialog*>(lp);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, DWLP_USER, lp);
  }
  auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  if (!self) return FALSE;
  INT_PTR result = FALSE;
  try {
    result = self->OnMessage(msg, wp, lp);
  } catch (...) {
    result = FALSE;
  }
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, DWLP_USER, 0);
    self->hwnd_ = nullptr;
  }
  return result;
}

bool HiddenWindow::Create(const std::string& className, Kind kind, const std::string& title) {
  const bool messageOnly = kind == Kind::MessageOnly;
  Params params;
  params.className = className;
  params.title = title;
  params.exStyle = messageOnly ? 0 : WS_EX_TOOLWINDOW;
  params.style = messageOnly ? 0 : WS_POPUP;
  params.x = params.y = params.width = params.height = 0;
  params.parent = messageOnly ? HWND_MESSAGE : nullptr;
  return Window::Create(params);
}

LRESULT FunctionWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (handler_) return handler_(hwnd(), msg, wp, lp);
  return HiddenWindow::OnMessage(msg, wp, lp);
}

class Timer::TimerWindow : public HiddenWindow {
 public:
  explicit TimerWindow(Timer* owner) : owner_(owner) {}

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_TIMER) {
      if (owner_->enabled_ && owner_->onTick_) owner_->onTick_();
      return 0;
    }
    return HiddenWindow::OnMessage(msg, wp, lp);
  }

 private:
  Timer* owner_;
};

Timer::Timer(unsigned intervalMs, std::function<void()> onTick)
    : interval_(intervalMs), onTick_(std::move(onTick)) {
  auto* window = new TimerWindow(this);
  window->Create("QuillmereTimer", HiddenWindow::Kind::MessageOnly);
  window_ = window;
}

Timer::~Timer() {
  SetEnabled(false);
  delete window_;
}

void Timer::SetEnabled(bool enabled) {
  if (enabled == enabled_ || !window_->hwnd()) {
    enabled_ = enabled && window_->hwnd();
    return;
  }
  enabled_ = enabled;
  if (enabled)
    SetTimer(window_->hwnd(), 1, interval_, nullptr);
  else
    KillTimer(window_->hwnd(), 1);
}

int RunMessageLoop(HWND window, HACCEL accelerators) {
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    const bool forWindow = window && (msg.hwnd == window || IsChild(window, msg.hwnd));
    if (forWindow && accelerators && TranslateAcceleratorA(window, accelerators, &msg)) continue;
    if (forWindow && IsDialogMessageA(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace qm
