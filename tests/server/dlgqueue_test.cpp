#include "server/dlgqueue.h"

#include "base/prompt.h"
#include "server/problems.h"
#include "server/servform.h"
#include "support/serverprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qm {
namespace {

// Records what the pump shows as "how: message/headline/caption" and answers warnings with a
// set result.
struct FakePresenter {
  std::vector<std::string> shown;
  int warningResult = 1;  // "Ok"
  int silenced = 0;
  std::function<void()> whileOpen;

  DialogPresenter Make() {
    auto record = [this](const std::string& how, const DialogFields& f) {
      shown.push_back(how + ": " + f.message + "/" + f.headline + "/" + f.caption);
      if (whileOpen) whileOpen();
    };
    return {[=](const DialogFields& f) { record("box", f); },
            [=, this](const DialogFields& f, bool silence) {
              record(silence ? "warning+silence" : "warning", f);
              return warningResult;
            },
            [this] { ++silenced; }};
  }
};

TEST(SplitDialogText, ReadsUpToThreeFieldsFromTheLeft) {
  auto split = [](const std::string& t) {
    DialogFields f = SplitDialogText(t);
    return f.message + "/" + f.headline + "/" + f.caption;
  };
  EXPECT_EQ(split("msg|head|cap"), "msg/head/cap");
  EXPECT_EQ(split("msg|cap"), "msg//cap");
  EXPECT_EQ(split("msg"), "msg//");
  EXPECT_EQ(split("msg|head|cap|more"), "msg/head/cap|more");
  EXPECT_EQ(split(""), "//");
  EXPECT_EQ(split("||c"), "//c");
}

TEST(DialogQueue, OneEntryPerTickOldestFirstWithTheTimerOffWhileOpen) {
  Timer timer(1000, [] {});
  TDialogQueue queue;
  FakePresenter fake;
  bool enabledWhileOpen = true;
  fake.whileOpen = [&] { enabledWhileOpen = timer.Enabled(); };
  queue.Add("first|cap 1", dkMessage);
  queue.Add("second|cap 2", dkMessage);
  timer.SetEnabled(true);
  queue.Pump(&timer, fake.Make());
  EXPECT_FALSE(enabledWhileOpen);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(fake.shown, std::vector<std::string>{"box: first//cap 1"});
  timer.SetEnabled(false);
  queue.Pump(&timer, fake.Make());
  queue.Pump(&timer, fake.Make());  // empty: shows nothing, but the timer goes on again
  EXPECT_EQ(fake.shown, (std::vector<std::string>{"box: first//cap 1", "box: second//cap 2"}));
  EXPECT_TRUE(timer.Enabled());
}

TEST(DialogQueue, EqualTextsQueuedWhileOpenAreDroppedWhateverTheirCaseAndKind) {
  TDialogQueue queue;
  FakePresenter fake;
  // The sync thread reports while the dialog is open: the guard must not be held then.
  std::thread reporter;
  std::atomic<bool> added{false};
  bool addedWhileOpen = false;
  fake.whileOpen = [&] {
    reporter = std::thread([&] {
      queue.Add("TARGET GONE|head|CAPTION", dkMessage);
      queue.Add("other|cap", dkMessage);
      queue.Add("target gone|HEAD|caption", dkWarn);
      added = true;
    });
    addedWhileOpen = test::WaitUntil([&] { return added.load(); }, 10000);
  };
  queue.Add("Target gone|Head|Caption", dkWarnSilence);
  queue.Add("target GONE|head|caption", dkWarnSilence);
  queue.Pump(nullptr, fake.Make());
  reporter.join();
  EXPECT_TRUE(addedWhileOpen);
  EXPECT_EQ(fake.shown.size(), 1u);
  const std::vector<DialogEntry> left = queue.Entries();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].text, "other|cap");
}

TEST(DialogQueue, UnknownKindsShowNothingAndAreRemovedWithTheirEquals) {
  TDialogQueue queue;
  FakePresenter fake;
  queue.Add("x|y", 0);
  queue.Add("X|Y", dkMessage);
  queue.Add("z", 4);
  queue.Pump(nullptr, fake.Make());
  ASSERT_EQ(queue.Size(), 1u);
  EXPECT_EQ(queue.Entries()[0].text, "z");
  queue.Pump(nullptr, fake.Make());
  EXPECT_EQ(queue.Size(), 0u);
  EXPECT_TRUE(fake.shown.empty());
}

TEST(DialogQueue, TheKindChoosesTheDialogAndOnlyItsSilenceAnswerSilences) {
  TDialogQueue queue;
  FakePresenter fake;
  fake.warningResult = 6;
  queue.Add(kDiskFullText, dkWarn);  // no Silence button: its result is ignored
  queue.Add("only a message", dkMessage);
  queue.Add("instructions|caption only", dkWarnSilence);
  for (int i = 0; i < 3; ++i) queue.Pump(nullptr, fake.Make());
  EXPECT_EQ(fake.shown,
            (std::vector<std::string>{
                "warning: 1)Clear some space on Target Volume.\r\n2)Open the Quillmere GUI and "
                "define New Target Volume/WARNING: Quillmere is unable to access the Target "
                "Volume because it is Full/Harvo Quillmere - Target Volume is Full",
                "box: only a message//", "warning+silence: instructions//caption only"}));
  EXPECT_EQ(fake.silenced, 1);
  for (int result : {1, 2}) {
    fake.warningResult = result;
    queue.Add(kNoTargetText, dkWarnSilence);
    queue.Pump(nullptr, fake.Make());
  }
  EXPECT_EQ(fake.silenced, 1);
}

TEST(DialogQueue, ADialogThatFailsToShowDoesNotStopTheOnesAfterIt) {
  Timer timer(1000, [] {});
  TDialogQueue queue;
  DialogPresenter failing;
  failing.showMessage = [](const DialogFields&) { throw std::runtime_error("no dialog"); };
  queue.Add("broken|cap", dkMessage);
  queue.Add("BROKEN|CAP", dkMessage);
  queue.Add("next|cap", dkMessage);
  queue.Pump(&timer, failing);
  EXPECT_TRUE(timer.Enabled());
  ASSERT_EQ(queue.Size(), 1u);
  EXPECT_EQ(queue.Entries()[0].text, "next|cap");
}

TEST(FormDialogQueue, AFailedCopyShowsAnOkMessageBoxOwnedByTheForm) {
  const std::string folder = test::MakeScratchFolder("dlgq");
  ServerEnvironment env;
  env.programFolder = folder;
  env.startThreads = false;
  auto form = std::make_unique<TfrQuillmereServ>(env);
  std::vector<std::string> boxes;
  MessageBoxHandler previous =
      SetMessageBoxHandler([&](HWND owner, const std::string& text, const std::string& caption,
                               UINT type) {
        EXPECT_EQ(owner, form->FormHandle());
        boxes.push_back(text + "/" + caption + "/" + std::to_string(type));
        return IDOK;
      });
  form->QueueDialog("C:\\a.txt was not copied|Quillmere was unable to move a file!", dkMessage);
  form->QueueDialog("c:\\A.TXT was not copied|quillmere was unable to move a file!", dkMessage);
  form->QueueDialog("one field", dkMessage);
  form->tmrDlgTimer();
  form->tmrDlgTimer();
  SetMessageBoxHandler(previous);
  EXPECT_EQ(boxes, (std::vector<std::string>{
                       "C:\\a.txt was not copied/Quillmere was unable to move a file!/0",
                       "one field//0"}));  // MB_OK is 0
  EXPECT_EQ(form->FDlgQueue.Size(), 0u);
  form.reset();
  test::RemoveTree(folder);
}

}  // namespace
}  // namespace qm
