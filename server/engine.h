// What the sync engine needs from the server around it. The server form fills one of these
// with its own objects; tests fill it with fakes.
#pragma once

#include "base/clock.h"
#include "server/copyfs.h"
#include "server/probe.h"
#include "server/servercore.h"

#include <functional>
#include <string>

namespace qm {

struct EngineContext {
  ServerCore& core;
  Clock& clock;
  VolumeProbe& volumes;
  std::function<void(const std::string& text, int kind)> queueDialog;  // QueueDialog
  std::function<void(const std::string& text)> log;                    // LogThread->AddLine
  // LoadConfig on the main thread; returns when it has run. False when conf.xml is there but
  // could not be opened (another program holds it open for writing).
  std::function<bool()> reload;
  std::function<void()> save;    // SaveConfig on the calling thread
  // Where a copy run may be held (cmdSuspend): called between files, owning no lock.
  std::function<void()> holdPoint;
  // Asked at the same places, after the hold: true when the run is to end there, because the
  // server is ending. The run keeps what it finished; the tag in hand stays as it was.
  std::function<bool()> stopRequested = nullptr;
  // How a file's bytes are copied; null: SystemFileCopy. Told to stop by stopRequested.
  FileCopy copyFile = nullptr;
};

}  // namespace qm
