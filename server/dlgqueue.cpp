#include "server/dlgqueue.h"

#include "base/prompt.h"
#include "server/msgdialog.h"
#include "server/problems.h"
#include "server/servform.h"

#include <utility>

namespace qm {

DialogFields SplitDialogText(const std::string& text) {
  DialogFields fields;
  const size_t first = text.find('|');
  fields.message = text.substr(0, first);
  if (first == std::string::npos) return fields;
  const std::string rest = text.substr(first + 1);
  const size_t second = rest.find('|');
  if (second == std::string::npos) {
    fields.caption = rest;
  } else {
    fields.headline = rest.substr(0, second);
    fields.caption = rest.substr(second + 1);
  }
  return fields;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  std::string upperA = a;
  std::string upperB = b;
  // The active code page's own case mapping, so that letters beyond ASCII fold as the user's
  // system folds them.
  CharUpperBuffA(upperA.data(), static_cast<DWORD>(upperA.size()));
  CharUpperBuffA(upperB.data(), static_cast<DWORD>(upperB.size()));
  return upperA == upperB;
}

void TDialogQueue::Add(const std::string& text, int kind) {
  DialogEntry entry{text, kind};
  std::lock_guard<std::mutex> hold(lock_);
  entries_.push_back(std::move(entry));
}

size_t TDialogQueue::Size() const {
  std::lock_guard<std::mutex> hold(lock_);
  return entries_.size();
}

std::vector<DialogEntry> TDialogQueue::Entries() const {
  std::lock_guard<std::mutex> hold(lock_);
  return {entries_.begin(), entries_.end()};
}

void TDialogQueue::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  entries_.clear();
}

void TDialogQueue::Pump(Timer* timer, const DialogPresenter& presenter) {
  // Off while a dialog is open: the modal loop delivers timer ticks too, and a second tick
  // would open a second dialog on top of the first.
  if (timer) timer->SetEnabled(false);
  DialogEntry entry;
  if (TakeFirst(entry)) {
    try {
      Show(entry, presenter);
    } catch (...) {
      // A dialog that failed to show must not stop the ones after it.
    }
    // Reports that piled up while the dialog was open say nothing new.
    RemoveSameText(entry.text);
  }
  if (timer) timer->SetEnabled(true);
}

bool TDialogQueue::TakeFirst(DialogEntry& entry) {
  std::lock_guard<std::mutex> hold(lock_);
  if (entries_.empty()) return false;
  entry = std::move(entries_.front());
  entries_.pop_front();
  return true;
}

void TDialogQueue::RemoveSameText(const std::string& text) {
  std::lock_guard<std::mutex> hold(lock_);
  std::erase_if(entries_, [&](const DialogEntry& e) { return SameTextIgnoringCase(e.text, text); });
}

void TDialogQueue::Show(const DialogEntry& entry, const DialogPresenter& presenter) {
  const DialogFields fields = SplitDialogText(entry.text);
  switch (entry.kind) {
    case dkMessage:
      if (presenter.showMessage) presenter.showMessage(fields);
      break;
    case dkWarnSilence:
      if (presenter.showWarning && presenter.showWarning(fields, true) == TfrMsgDialog::kSilence)
        if (presenter.silence) presenter.silence();
      break;
    case dkWarn:
      if (presenter.showWarning) presenter.showWarning(fields, false);
      break;
    default:
      break;
  }
}

void TfrQuillmereServ::QueueDialog(const std::string& text, int kind) { FDlgQueue.Add(text, kind); }

void TfrQuillmereServ::tmrDlgTimer() {
  DialogPresenter presenter;
  presenter.showMessage = [this](const DialogFields& f) {
    ShowMessageBox(FormHandle(), f.message, f.caption, MB_OK);
  };
  presenter.showWarning = [this](const DialogFields& f, bool showSilence) {
    if (!frMsgDialog) return 0;
    frMsgDialog->Setup(f.caption, f.headline, f.message, showSilence);
    return frMsgDialog->ShowModal(FormHandle());
  };
  presenter.silence = [this] {
    core.FSilent = true;
    SaveConfig();  // at once, so that conf.xml holds silentflag "1" before anything reloads it
  };
  FDlgQueue.Pump(tmrDlg.get(), presenter);
}

}  // namespace qm
