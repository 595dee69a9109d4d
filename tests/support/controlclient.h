// A stand-in for the configuration program's side of the control protocol: a real window on a
// thread of its own that records every WM_SYNCCONTROL and WM_COPYDATA it is sent, and that can
// be made to stop pumping messages, like a client that hangs.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qm::test {

struct ReceivedMessage {
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  ULONG_PTR dwData = 0;  // WM_COPYDATA only
  DWORD cbData = 0;
  std::string bytes;
};

// The status record's fields from a WM_COPYDATA answer; nullopt for anything else.
struct StatusAnswer {
  double lastSync = 0;
  uint8_t state = 0;
  bool reservedZero = false;  // bytes 9-15
};
std::optional<StatusAnswer> ReadStatus(const ReceivedMessage& m);

class ControlClient {
 public:
  ControlClient();   // returns once the window exists
  ~ControlClient();  // unblocks, destroys the window, joins the thread
  ControlClient(const ControlClient&) = delete;
  ControlClient& operator=(const ControlClient&) = delete;

  HWND hwnd() const { return hwnd_; }
  // Posts a command with this window as the sender, as the configuration program does.
  bool Post(HWND server, LPARAM code) const;

  std::vector<ReceivedMessage> Messages() const;
  size_t Count() const;
  bool WaitForCount(size_t count, unsigned timeoutMs) const;
  void Clear();

  // Parks the window's thread (it stops pumping) until Unblock.
  void Block();
  void Unblock();

 private:
  void Run();
  LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  std::thread thread_;
  HWND hwnd_ = nullptr;
  HANDLE ready_ = nullptr;
  HANDLE blocked_ = nullptr;
  HANDLE unblock_ = nullptr;
  mutable std::mutex lock_;
  mutable std::condition_variable arrived_;
  std::vector<ReceivedMessage> messages_;
};

// Sends a WM_COPYDATA block to window from the calling thread (waits for it to be handled).
bool SendCopyData(HWND window, HWND sender, const void* data, DWORD size, ULONG_PTR dwData = 0);

}  // namespace qm::test
