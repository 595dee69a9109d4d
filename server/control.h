// Pieces of the control window that do not need the form: reading a WM_COPYDATA block safely
// and answering the windows that send commands.
//
// Everything arriving at the control window comes from any program on the desktop, so none of
// it is trusted: a block is never read past its stated size, and an answer never waits long
// for a window that does not take it.
#pragma once

#include <windows.h>

#include <string>

namespace qm {

// The block's bytes up to the first NUL, never more than cbData; empty for a null block, a
// null lpData or cbData 0.
std::string CopyDataText(const COPYDATASTRUCT* block);

// Sends answers to command senders with a bounded wait. A window that did not take an answer
// in time (its thread does not pump, or is hung) gets no further answers until it has shown
// that it pumps again: a WM_NULL sent with a callback comes back once its thread has served
// it. So one blocked client costs one timeout, not one per command it queued.
//
// Threads: one thread only (the server's main thread); the callback arrives there too.
class AnswerChannel {
 public:
  static constexpr unsigned kTimeoutMs = 1000;

  // True when to took the message within the timeout. False without sending for anything
  // that is not a window, and for a window that is still marked as stalled.
  static bool Send(HWND to, UINT msg, WPARAM wp, LPARAM lp, unsigned timeoutMs = kTimeoutMs);
  static bool Stalled(HWND window);
  static size_t StalledCount();

 private:
  static void CALLBACK Pumped(HWND window, UINT msg, ULONG_PTR data, LRESULT result);
  static void MarkStalled(HWND window);
};

}  // namespace qm
