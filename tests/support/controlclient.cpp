#include "support/controlclient.h"

#include "tools/protocol.h"

#include <chrono>
#include <cstring>

namespace qm::test {
namespace {

constexpr UINT kBlockMessage = WM_APP + 0x70;
constexpr const char* kClassName = "QuillmereTestControlClient";

}  // namespace

std::optional<StatusAnswer> ReadStatus(const ReceivedMessage& m) {
  if (m.msg != WM_COPYDATA || m.bytes.size() != kStatusSize) return std::nullopt;
  const auto status = DecodeServerStatus(m.bytes.data(), m.bytes.size());
  if (!status) return std::nullopt;
  StatusAnswer answer;
  answer.lastSync = status->LastSync;
  answer.state = status->State;
  answer.reservedZero = true;
  for (size_t i = 9; i < 16; ++i)
    if (m.bytes[i] != 0) answer.reservedZero = false;
  return answer;
}

ControlClient::ControlClient() {
  ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  blocked_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  unblock_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  thread_ = std::thread([this] { Run(); });
  WaitForSingleObject(ready_, 30000);
}

ControlClient::~ControlClient() {
  Unblock();
  if (hwnd_) PostMessageA(hwnd_, WM_CLOSE, 0, 0);
  if (thread_.joinable()) thread_.join();
  CloseHandle(ready_);
  CloseHandle(blocked_);
  CloseHandle(unblock_);
}

void ControlClient::Run() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = &ControlClient::Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kClassName;
  RegisterClassA(&wc);  // a second client finds it registered
  hwnd_ = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "Quillmere test client", WS_POPUP, 0, 0,
                          10, 10, nullptr, nullptr, wc.hInstance, this);
  SetEvent(ready_);
  if (!hwnd_) return;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

LRESULT CALLBACK ControlClient::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE)
    SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
  auto* self = reinterpret_cast<ControlClient*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  return self ? self->OnMessage(hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT ControlClient::OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SYNCCONTROL:
    case WM_COPYDATA: {
      ReceivedMessage m;
      m.msg = msg;
      m.wParam = wp;
      m.lParam = lp;
      if (msg == WM_COPYDATA) {
        const auto* block = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        m.dwData = block->dwData;
        m.cbData = block->cbData;
        if (block->lpData && block->cbData)
          m.bytes.assign(static_cast<const char*>(block->lpData), block->cbData);
      }
      {
        std::lock_guard<std::mutex> hold(lock_);
        messages_.push_back(std::move(m));
      }
      arrived_.notify_all();
      return msg == WM_COPYDATA ? TRUE : 0;
    }
    case kBlockMessage:
      SetEvent(blocked_);
      WaitForSingleObject(unblock_, INFINITE);
      ResetEvent(blocked_);
      return 0;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wp, lp);
  }
}

bool ControlClient::Post(HWND server, LPARAM code) const {
  return PostMessageA(server, WM_SYNCCONTROL, reinterpret_cast<WPARAM>(hwnd_), code) != FALSE;
}

std::vector<ReceivedMessage> ControlClient::Messages() const {
  std::lock_guard<std::mutex> hold(lock_);
  return messages_;
}

size_t ControlClient::Count() const {
  std::lock_guard<std::mutex> hold(lock_);
  return messages_.size();
}

bool ControlClient::WaitForCount(size_t count, unsigned timeoutMs) const {
  std::unique_lock<std::mutex> hold(lock_);
  return arrived_.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                           [&] { return messages_.size() >= count; });
}

void ControlClient::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  messages_.clear();
}

void ControlClient::Block() {
  ResetEvent(unblock_);
  PostMessageA(hwnd_, kBlockMessage, 0, 0);
  WaitForSingleObject(blocked_, 30000);
}

void ControlClient::Unblock() { SetEvent(unblock_); }

bool SendCopyData(HWND window, HWND sender, const void* data, DWORD size, ULONG_PTR dwData) {
  COPYDATASTRUCT block{};
  block.dwData = dwData;
  block.cbData = size;
  block.lpData = const_cast<void*>(data);
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, WM_COPYDATA, reinterpret_cast<WPARAM>(sender),
                             reinterpret_cast<LPARAM>(&block), SMTO_NORMAL, 30000, &result) != 0;
}

}  // namespace qm::test
