#include "base/window.h"

namespace qm {

HiddenWindow::~HiddenWindow() { Destroy(); }

bool HiddenWindow::Create(const std::string& className, Kind kind, const std::string& title) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  if (!GetClassInfoA(instance, className.c_str(), &wc)) {
    wc = WNDCLASSA{};
    wc.lpfnWndProc = &HiddenWindow::Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = className.c_str();
    if (!RegisterClassA(&wc)) return false;
  }
  const bool messageOnly = kind == Kind::MessageOnly;
  HWND hwnd = CreateWindowExA(messageOnly ? 0 : WS_EX_TOOLWINDOW, className.c_str(), title.c_str(),
                              messageOnly ? 0 : WS_POPUP, 0, 0, 0, 0,
                              messageOnly ? HWND_MESSAGE : nullptr, nullptr, instance, this);
  return hwnd != nullptr && hwnd == hwnd_;
}

void HiddenWindow::Destroy() {
  if (hwnd_) {
    HWND hwnd = hwnd_;
    hwnd_ = nullptr;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
  }
}

LRESULT HiddenWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK HiddenWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<HiddenWindow*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<HiddenWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
  try {
    return self->OnMessage(msg, wp, lp);
  } catch (...) {
    return 0;
  }
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

int RunMessageLoop() {
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace qm
