#include "base/prompt.h"

#include <mutex>
#include <utility>

namespace qm {
namespace {

std::mutex g_lock;
MessageBoxHandler g_handler;

}  // namespace

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  MessageBoxHandler handler;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    handler = g_handler;
  }
  if (handler) return handler(owner, text, caption, type);
  return MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard<std::mutex> hold(g_lock);
  return std::exchange(g_handler, std::move(handler));
}

}  // namespace qm
