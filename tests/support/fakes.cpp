#include "support/fakes.h"

#include <stdexcept>

namespace qm::test {

using Guard = std::lock_guard<std::mutex>;

bool FakeVolumeProbe::VolumeAnswers(const std::string& root) {
  Guard g(lock_);
  asked_.push_back(root);
  if (throws_) throw std::runtime_error("volume query failed");
  const auto it = rootAnswers_.find(root);
  return it == rootAnswers_.end() ? answers_ : it->second;
}

bool FakeVolumeProbe::FreeBytes(char driveLetter, uint64_t& bytes) {
  Guard g(lock_);
  if (unreadable_[driveLetter]) return false;
  const auto it = free_.find(driveLetter);
  bytes = it == free_.end() ? (uint64_t{1} << 40) : it->second;
  return true;
}

void FakeVolumeProbe::SetAnswers(bool answers) {
  Guard g(lock_);
  answers_ = answers;
}

void FakeVolumeProbe::SetAnswers(const std::string& root, bool answers) {
  Guard g(lock_);
  rootAnswers_[root] = answers;
}

void FakeVolumeProbe::SetThrows(bool throws) {
  Guard g(lock_);
  throws_ = throws;
}

void FakeVolumeProbe::SetFreeBytes(char driveLetter, uint64_t bytes) {
  Guard g(lock_);
  free_[driveLetter] = bytes;
  unreadable_[driveLetter] = false;
}

void FakeVolumeProbe::SetFreeUnreadable(char driveLetter) {
  Guard g(lock_);
  unreadable_[driveLetter] = true;
}

unsigned FakeVolumeProbe::Queries() const {
  Guard g(lock_);
  return static_cast<unsigned>(asked_.size());
}

std::vector<std::string> FakeVolumeProbe::RootsAsked() const {
  Guard g(lock_);
  return asked_;
}

FakeEngine::FakeEngine()
    : ctx{core,
          clock,
          volumes,
          [this](const std::string& text, int kind) {
            Guard g(lock_);
            dialogs_.emplace_back(text, kind);
          },
          [this](const std::string& text) {
            Guard g(lock_);
            lines_.push_back(text);
          },
          [this] {
            if (onReload) onReload();
            Guard g(lock_);
            ++reloads_;
            return !confHeld.load();
          },
          [this] {
            if (onSave) onSave();
            SavedState state{core.Settings(), core.FSilent.load(), core.Tags()};
            Guard g(lock_);
            saved_.push_back(std::move(state));
          },
          nullptr} {}

std::vector<std::pair<std::string, int>> FakeEngine::Dialogs() const {
  Guard g(lock_);
  return dialogs_;
}

std::vector<std::string> FakeEngine::LogLines() const {
  Guard g(lock_);
  return lines_;
}

unsigned FakeEngine::Reloads() const {
  Guard g(lock_);
  return reloads_;
}

unsigned FakeEngine::Saves() const {
  Guard g(lock_);
  return static_cast<unsigned>(saved_.size());
}

std::vector<FakeEngine::SavedState> FakeEngine::SavedStates() const {
  Guard g(lock_);
  return saved_;
}

TTagItem MakeTag(const std::string& path, const std::string& caption, uint8_t ftype,
                 uint32_t kb, DateTime lastSync) {
  TTagItem t;
  t.Path = path;
  t.Caption = caption;
  t.FType = ftype;
  t.Size = kb;
  t.LastSync = lastSync;
  return t;
}

}  // namespace qm::test
