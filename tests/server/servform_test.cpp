#include "server/servform.h"

#include "base/registry.h"
#include "base/thread.h"
#include "server/config.h"
#include "server/logthread.h"
#include "server/syncthread.h"
#include "support/fakes.h"
#include "support/formfixture.h"
#include "support/serverprocess.h"
#include "support/syncscene.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

namespace qm {
namespace {

using test::At;
using test::InProcessServer;
using test::Stamp;

struct DueCase {
  int periodMinutes;
  int second, ms;
  int dueDay, dueHour, dueMinute;
};

// A start on 14 March 2025 at 10:37:25 (and .5): the first run falls at the start cut down to the
// minute, or to the hour for periods longer than one hour, plus the period.
TEST(FirstDueTime, FollowsThePeriodAndTheRoundingRule) {
  const DueCase cases[] = {
      {30, 25, 500, 14, 11, 7},  {60, 25, 500, 14, 11, 37}, {61, 25, 500, 14, 11, 1},
      {120, 25, 500, 14, 12, 0}, {1440, 25, 500, 15, 10, 0}, {30, 25, 0, 14, 11, 7},
      {60, 25, 0, 14, 11, 37},   {61, 25, 0, 14, 11, 1},     {120, 25, 0, 14, 12, 0},
      {1440, 25, 0, 15, 10, 0},
  };
  for (const DueCase& c : cases) {
    const DateTime start = At(2025, 3, 14, 10, 37, c.second, c.ms);
    const double period = MsToPeriod(c.periodMinutes * 60000);
    const DateTime due = TfrQuillmereServ::FirstDueTime(start, NeverSyncDate, period);
    EXPECT_EQ(Stamp(due), Stamp(At(2025, 3, c.dueDay, c.dueHour, c.dueMinute, 0)))
        << c.periodMinutes << " min from " << Stamp(start);
  }
}

TEST(FirstDueTime, KeepsADueTimeThatIsNotYetPast) {
  const DateTime start = At(2025, 3, 14, 10, 37, 25);
  const DateTime later = At(2025, 3, 14, 10, 40, 0);
  EXPECT_EQ(TfrQuillmereServ::FirstDueTime(start, later, 1.0 / 24), later);
  EXPECT_EQ(TfrQuillmereServ::FirstDueTime(start, start, 1.0 / 24), start);
}

TEST(RoundDownTime, CutsToTheMinuteOrTheHour) {
  const DateTime t = At(2025, 12, 31, 23, 59, 59, 999);
  EXPECT_EQ(Stamp(TfrQuillmereServ::RoundDownTime(false, t)), Stamp(At(2025, 12, 31, 23, 59, 0)));
  EXPECT_EQ(Stamp(TfrQuillmereServ::RoundDownTime(true, t)), Stamp(At(2025, 12, 31, 23, 0, 0)));
  const DateTime whole = At(2025, 1, 1, 0, 0, 0);
  EXPECT_EQ(TfrQuillmereServ::RoundDownTime(true, whole), whole);
}

TEST(FormCreate, FirstStartWithoutKeyOrConfigurationTakesTheDefaults) {
  InProcessServer server;
  TfrQuillmereServ& form = server.Create();
  ASSERT_TRUE(form.Created());

  EXPECT_EQ(form.FInstallDir, server.folder);
  EXPECT_EQ(form.FConfPath, server.folder + "conf.xml");
  const ServerSettings s = form.core.Settings();
  EXPECT_EQ(s.LastSync, NeverSyncDate);
  EXPECT_EQ(s.SyncPeriod, 1.0 / 24);
  EXPECT_EQ(s.TargetPath, server.folder + "Default Target\\");
  EXPECT_EQ(Stamp(s.NextSync), Stamp(At(2025, 3, 14, 11, 37, 0)));
  EXPECT_EQ(form.core.FState.load(), ssReady);
  EXPECT_FALSE(form.core.FSilent.load());
  EXPECT_EQ(form.core.TagCount(), 0u);
  EXPECT_EQ(form.agsquantity1Text, "Tags quantity: 0");

  auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, server.key, KEY_READ);
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(key->ReadString("InstallDir").value_or("?"), server.folder);
  EXPECT_EQ(key->ReadInteger("Handle").value_or(0),
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(form.FCtrlWnd())));
}

TEST(FormCreate, LoadsTheConfigurationThenRewritesItUnsilenced) {
  InProcessServer server;  // starts at 10:37:25.5
  ASSERT_TRUE(test::WriteFileBytes(server.folder + "conf.xml",
                                   test::ConfigurationText(7200000, /*silent=*/true, 2)));
  TfrQuillmereServ& form = server.Create();

  EXPECT_EQ(form.core.TagCount(), 2u);
  EXPECT_EQ(form.agsquantity1Text, "Tags quantity: 2");
  EXPECT_EQ(form.core.TargetPath(), "C:\\Backup\\");
  EXPECT_FALSE(form.core.FSilent.load());
  // Two hours is longer than one: the first run falls on the hour.
  EXPECT_EQ(Stamp(form.core.NextSync()), Stamp(At(2025, 3, 14, 12, 0, 0)));

  const std::string saved = test::ReadFileOrEmpty(server.folder + "conf.xml");
  EXPECT_NE(saved.find(" <silentflag>0</silentflag> \r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find(" <syncperiod>7200000</syncperiod> \r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<caption>f1.txt</caption>"), std::string::npos) << saved;
}

TEST(FormCreate, MakesAMessageOnlyControlWindowAndAHiddenForm) {
  InProcessServer server;
  TfrQuillmereServ& form = server.Create();
  ASSERT_TRUE(IsWindow(form.FCtrlWnd()));
  // Message-only windows are found below HWND_MESSAGE, never among the top-level windows.
  EXPECT_EQ(FindWindowExA(HWND_MESSAGE, nullptr, "TfrQuillmereServControl", nullptr),
            form.FCtrlWnd());
  EXPECT_EQ(GetWindowLongPtrA(form.FCtrlWnd(), GWL_STYLE) & WS_VISIBLE, 0);

  ASSERT_TRUE(IsWindow(form.FormHandle()));
  char caption[64] = {};
  GetWindowTextA(form.FormHandle(), caption, sizeof caption);
  EXPECT_STREQ(caption, "frQuillmereServ");
  EXPECT_FALSE(IsWindowVisible(form.FormHandle()));
}

TEST(FormCreate, InstallDirFromTheRegistryIsABarePrefixAndStaysUnchanged) {
  InProcessServer server;
  const std::string prefix = server.folder + "elsewhere-";  // no trailing backslash
  {
    auto key = RegistryKey::OpenOrCreate(HKEY_LOCAL_MACHINE, server.key);
    ASSERT_TRUE(key.has_value());
    ASSERT_TRUE(key->WriteString("InstallDir", prefix));
  }
  TfrQuillmereServ& form = server.Create();
  EXPECT_EQ(form.FInstallDir, prefix);
  EXPECT_EQ(form.FConfPath, prefix + "conf.xml");
  EXPECT_EQ(form.core.TargetPath(), prefix + "Default Target\\");
  auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, server.key, KEY_READ);
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(key->ReadString("InstallDir").value_or("?"), prefix);
  EXPECT_TRUE(key->ReadInteger("Handle").has_value());
}

TEST(FormCreate, EmptyOrWronglyTypedInstallDirIsReplacedByTheProgramFolder) {
  for (int variant = 0; variant < 3; ++variant) {
    InProcessServer server;
    {
      auto key = RegistryKey::OpenOrCreate(HKEY_LOCAL_MACHINE, server.key);
      ASSERT_TRUE(key.has_value());
      const DWORD number = 7;
      bool written = false;
      if (variant == 0) written = key->WriteString("InstallDir", "");
      if (variant == 1) written = key->WriteInteger("InstallDir", number);
      if (variant == 2) written = key->WriteBinary("InstallDir", "C:\\x\\", 6);
      ASSERT_TRUE(written);
    }
    TfrQuillmereServ& form = server.Create();
    EXPECT_EQ(form.FInstallDir, server.folder) << "variant " << variant;
    EXPECT_EQ(form.FConfPath, server.folder + "conf.xml") << "variant " << variant;
    EXPECT_NE(LogThread, nullptr) << "variant " << variant;
    auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, server.key, KEY_READ);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->KindOf("InstallDir"), RegistryKey::ValueKind::String) << "variant " << variant;
    EXPECT_EQ(key->ReadString("InstallDir").value_or("?"), server.folder) << "variant " << variant;
  }
}

TEST(FormCreate, AKeyThatCannotBeOpenedLeavesTheProgramFolderAndPublishesNothing) {
  InProcessServer server;
  ServerEnvironment env = server.Environment();
  // A key name component longer than the registry allows: neither opened nor created.
  env.registryKey = server.key + "\\" + std::string(300, 'x');
  ASSERT_FALSE(RegistryKey::OpenOrCreate(HKEY_LOCAL_MACHINE, env.registryKey).has_value())
      << "the platform accepted an over-long key name; this case cannot be made here";
  server.form = std::make_unique<TfrQuillmereServ>(env);
  server.form->FormCreate();
  EXPECT_EQ(server.form->FInstallDir, server.folder);
  EXPECT_FALSE(RegistryKey::Open(HKEY_LOCAL_MACHINE, server.key, KEY_READ).has_value());
}

TEST(FormDestroy, RemovesTheWindowsAndThreadsAndKeepsTheHandle) {
  InProcessServer server;
  TfrQuillmereServ& form = server.Create();
  const HWND control = form.FCtrlWnd();
  ASSERT_TRUE(IsWindow(control));
  ASSERT_NE(LogThread, nullptr);
  TTagItem item;
  item.Caption = "a.txt";
  item.Path = "C:\\Docs\\";
  form.core.SetTags({item});

  form.FormDestroy();
  EXPECT_FALSE(IsWindow(control));
  EXPECT_EQ(form.FCtrlWnd(), nullptr);
  EXPECT_EQ(LogThread, nullptr);
  EXPECT_EQ(SyncThread, nullptr);
  EXPECT_EQ(form.core.TagCount(), 0u);
  auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, server.key, KEY_READ);
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(key->ReadInteger("Handle").value_or(0),
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(control)));
  form.FormDestroy();  // a second call (the destructor's) does nothing
}

TEST(FormDestroy, EndsASyncThreadThatIsHeldTwice) {
  MainThreadCalls::Attach();
  {
    InProcessServer server;
    TfrQuillmereServ& form = server.Create(/*startThreads=*/true);
    ASSERT_NE(SyncThread, nullptr);
    SyncThread->Hold();
    SyncThread->Hold();
    form.FormDestroy();
    EXPECT_EQ(SyncThread, nullptr);
  }
  MainThreadCalls::Detach();
}

// A copy that does not stop when told to (on Wine every copy runs to its end; on Windows a
// volume may stop answering) while a stop waits for it, and the session's end comes inside
// that wait: the end answers within its bounds with what the run finished saved and the last
// log line written, and leaves the sync thread to the end of the process.
TEST(FormDestroy, AnEndInsideAStopThatWaitsForACopyThatDoesNotStopAnswersWithItsResultsSaved) {
  MainThreadCalls::Attach();
  {
    InProcessServer server;
    const std::string source = server.folder + "src\\", target = server.folder + "tgt\\";
    ASSERT_TRUE(test::MakeFolderChain(source) && test::MakeFolderChain(target));
    test::ConfFile conf;
    conf.targetdrive = target;
    for (const char* name : {"a.txt", "big.bin"}) {
      ASSERT_TRUE(test::WriteFileBytes(source + name, name));
      conf.items.push_back({name, source, "01-01-2004", 1, 0});
    }
    ASSERT_TRUE(test::WriteFileBytes(server.folder + "conf.xml", test::ServerLayout(conf)));
    UniqueKernelHandle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> inBigCopy{false};
    ServerEnvironment env = server.Environment(/*startThreads=*/true);
    test::FakeVolumeProbe volumes;  // the scratch folder's volume may not answer under Wine
    env.volumes = &volumes;
    env.copyFile = [&](const std::string& from, const std::string& to, bool failIfExists,
                       const StopCheck& stop) {
      if (from.find("big.bin") == std::string::npos) return SystemFileCopy(from, to, failIfExists, stop);
      inBigCopy = true;
      WaitForSingleObject(release.get(), INFINITE);
      return SystemFileCopy(from, to, failIfExists, stop);
    };
    server.form = std::make_unique<TfrQuillmereServ>(env);
    TfrQuillmereServ& form = *server.form;
    form.FormCreate();
    form.core.SetNextSync(server.clock.Now());  // as cmdSyncNow: a run at the next check
    ASSERT_TRUE(test::WaitUntil(
        [&] {
          MainThreadCalls::ServePending();  // the reload before the run
          return inBigCopy.load();
        },
        60000));

    bool answered = false;
    std::string logAtAnswer;
    std::optional<test::ConfFile> confAtAnswer;
    std::thread session([&] {
      DWORD_PTR result = 0;
      // Windows ends a program without a visible window that has not answered in 5 seconds.
      answered = SendMessageTimeoutA(form.FormHandle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF,
                                     SMTO_NORMAL, 5000, &result) != 0;
      logAtAnswer = test::ReadFileOrEmpty(server.folder + "quillmere.log");
      confAtAnswer = test::ReadConf(server.folder + "conf.xml");
      SetEvent(release.get());  // without an answer, the old end waits for this copy
    });
    form.FormDestroy();  // "Stop Sync Process"
    session.join();

    EXPECT_TRUE(answered) << "no answer to the session's end within 5 seconds";
    EXPECT_NE(logAtAnswer.find("QuillmereServer# Stoped.\r\n"), std::string::npos) << logAtAnswer;
    EXPECT_EQ(test::CountLogText(server.folder + "quillmere.log", "QuillmereServer# Stoped."), 1);
    ASSERT_TRUE(confAtAnswer.has_value());
    ASSERT_EQ(confAtAnswer->items.size(), 2u);
    EXPECT_NE(confAtAnswer->items[0].lastsync, "01-01-2004") << "the finished tag's results are lost";
    EXPECT_EQ(confAtAnswer->items[1].lastsync, "01-01-2004");
    EXPECT_EQ(confAtAnswer->lastsyncdate, "01-01-2004");
    EXPECT_TRUE(form.ThreadLeftRunning());

    // What the end of the process would do, done here so that the test process goes on.
    SetEvent(release.get());
    SyncThread->WaitFor();
    delete SyncThread;
    SyncThread = nullptr;
    delete LogThread;
    LogThread = nullptr;
  }
  MainThreadCalls::Detach();
}

TEST(FormWindow, CloseAndExitEndTheMessageLoop) {
  InProcessServer server;
  TfrQuillmereServ& form = server.Create();
  test::TakeQuitMessage();
  SendMessageA(form.FormHandle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(test::TakeQuitMessage());
  EXPECT_TRUE(IsWindow(form.FormHandle())) << "the form lives until the program ends";
  form.Exit1Click();
  EXPECT_TRUE(test::TakeQuitMessage());
}

}  // namespace
}  // namespace qm
