#include "frontend/serverlink.h"

#include "base/registry.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace qm {
namespace {

HWND AsWindow(uintptr_t value) { return reinterpret_cast<HWND>(value); }

class Rendezvous : public ::testing::Test {
 protected:
  void SetUp() override {
    keyPath_ = "Software\\Harvo Software\\Quillmere\\FrontendTest" +
               std::to_string(GetCurrentProcessId());
    RegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, keyPath_);
  }
  void TearDown() override { RegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, keyPath_); }

  RegistryKey Key() { return *RegistryKey::OpenOrCreate(HKEY_LOCAL_MACHINE, keyPath_); }

  const std::string program_ = "C:\\Program Files\\Quillmere\\";
  const std::string current_ = "X:\\Current\\conf.xml";
  std::string keyPath_;
};

// A registry value as a test writes it: absent, a string or an integer.
struct Value {
  enum Kind { None, Text, Number } kind = None;
  const char* text = "";
  uint32_t number = 0;
};
Value Text(const char* text) { return {Value::Text, text, 0}; }
Value Number(uint32_t number) { return {Value::Number, "", number}; }

void Write(RegistryKey& key, const char* name, const Value& v) {
  if (v.kind == Value::Text) {
    ASSERT_TRUE(key.WriteString(name, v.text));
  } else if (v.kind == Value::Number) {
    ASSERT_TRUE(key.WriteInteger(name, v.number));
  }
}

TEST_F(Rendezvous, StartUpAndSilentTickRules) {
  // Expected paths: "" beside the program, "=" the current path kept.
  struct Case {
    const char* what;
    bool key;
    Value installDir, handle;
    uintptr_t startWnd;
    const char* startConf;
    uintptr_t tickWnd;
    const char* tickConf;
  } cases[] = {
      {"no key", false, {}, {}, 0, "", 0, "="},
      {"both", true, Text("D:\\Inst\\"), Number(0x1234), 0x1234, "D:\\Inst\\conf.xml", 0x1234,
       "D:\\Inst\\conf.xml"},
      {"no Handle", true, Text("D:\\Inst\\"), {}, 0, "D:\\Inst\\conf.xml", 0, "="},
      {"empty InstallDir", true, Text(""), Number(0x77), 0x77, "", 0x77, ""},
      {"no InstallDir", true, {}, Number(0x77), 0x77, "", 0x77, ""},
      {"Handle a string", true, Text("D:\\Inst\\"), Text("4660"), 0, "D:\\Inst\\conf.xml", 0, "="},
      {"InstallDir an integer", true, Number(5), Number(0x77), 0, "", 0, "="},
  };
  const auto conf = [&](const std::string& expected) {
    return expected == "=" ? current_ : expected.empty() ? program_ + "conf.xml" : expected;
  };
  for (const Case& c : cases) {
    RegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, keyPath_);
    if (c.key) {
      RegistryKey key = Key();
      Write(key, "InstallDir", c.installDir);
      Write(key, "Handle", c.handle);
    }
    const ServerRendezvous start = RendezvousAtStart(keyPath_, program_);
    EXPECT_EQ(start.serverWnd, AsWindow(c.startWnd)) << c.what;
    EXPECT_EQ(start.confPath, conf(c.startConf)) << c.what;
    const ServerRendezvous tick = RendezvousOnSilentTick(keyPath_, program_, current_);
    EXPECT_EQ(tick.serverWnd, AsWindow(c.tickWnd)) << c.what;
    EXPECT_EQ(tick.confPath, conf(c.tickConf)) << c.what;
  }
}

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(hwnd, msg, wp, lp);
}

HWND MakeWindow(const char* className, HWND parent) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = className;
  RegisterClassA(&wc);
  return CreateWindowExA(0, className, "", WS_POPUP, 0, 0, 10, 10, parent, nullptr,
                         wc.hInstance, nullptr);
}

// Takes every WM_SYNCCONTROL that reached this thread's queue or any of its windows.
std::vector<MSG> TakeControlMessages() {
  std::vector<MSG> taken;
  MSG m;
  while (PeekMessageA(&m, nullptr, WM_SYNCCONTROL, WM_SYNCCONTROL, PM_REMOVE)) taken.push_back(m);
  return taken;
}

TEST(PostToServer, OnlyToALiveWindowOfTheServersControlClass) {
  UniqueWindow server(MakeWindow(kServerControlClass, HWND_MESSAGE));
  // A visible-to-broadcast window of another class, as every program on the desktop has.
  UniqueWindow other(MakeWindow("QmFrontendTestOther", nullptr));
  UniqueWindow stale(MakeWindow(kServerControlClass, HWND_MESSAGE));
  ASSERT_TRUE(server && other && stale);
  const HWND staleHandle = stale.get();
  stale.close();
  TakeControlMessages();

  for (HWND refused : {HWND(nullptr), HWND_BROADCAST, other.get(), staleHandle}) {
    EXPECT_FALSE(PostToServer(refused, other.get(), cmdStop));
    EXPECT_TRUE(TakeControlMessages().empty()) << refused;
  }

  EXPECT_TRUE(PostToServer(server.get(), other.get(), cmdReload));
  const std::vector<MSG> taken = TakeControlMessages();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].hwnd, server.get());
  EXPECT_EQ(taken[0].wParam, reinterpret_cast<WPARAM>(other.get()));
  EXPECT_EQ(taken[0].lParam, cmdReload);
}

TEST(IsServerSilent, MoreThanFiveSecondsSinceLastHeard) {
  const DateTime now = 40000.5;
  EXPECT_TRUE(IsServerSilent(now, 0));
  EXPECT_FALSE(IsServerSilent(now, now));
  EXPECT_FALSE(IsServerSilent(now, now - 4.9 * kOneSecond));
  EXPECT_TRUE(IsServerSilent(now, now - 5.1 * kOneSecond));
  // The mark a silent tick leaves makes the next tick, a second later, silent again.
  EXPECT_TRUE(IsServerSilent(now + kOneSecond, now - kSilenceLimit));
  EXPECT_FALSE(IsServerSilent(now - 60 * kOneSecond, now));  // clock set back
}

TEST(StartServerProcess, NeedsAnAbsoluteFolder) {
  struct Case {
    const char* conf;
    const char* program;
  } cases[] = {
      {"", ""},
      {"conf.xml", ""},
      {"Quillmere\\conf.xml", ""},
      {"\\conf.xml", ""},
      {"C:conf.xml", ""},
      {"C:\\Program Files\\Q\\conf.xml", "C:\\Program Files\\Q\\QUILLMERESERV.exe"},
      {"\\\\host\\share\\conf.xml", "\\\\host\\share\\QUILLMERESERV.exe"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ServerProgramPath(c.conf), c.program) << c.conf;
    if (*c.program == '\0') {
      EXPECT_FALSE(StartServerProcess(c.conf)) << c.conf;
    }
  }
}

TEST(StartServerProcess, StartsTheProgramFromAFolderWithABlankByItsFullPath) {
  const std::string scratch = test::MakeScratchFolder("startserver");
  ASSERT_FALSE(scratch.empty());
  const std::string folder = scratch + "With Blank\\";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::string helper = test::BinDir() + "qm_instance_helper.exe";
  ASSERT_TRUE(CopyFileA(helper.c_str(), (folder + "QUILLMERESERV.exe").c_str(), TRUE)) << helper;
  // What an unquoted command line would run instead.
  ASSERT_TRUE(CopyFileA(helper.c_str(), (scratch + "With.exe").c_str(), TRUE));

  UniqueKernelHandle process;
  ASSERT_TRUE(StartServerProcess(folder + "conf.xml", &process));
  ASSERT_TRUE(process);
  char image[MAX_PATH];
  DWORD length = MAX_PATH;
  ASSERT_TRUE(QueryFullProcessImageNameA(process.get(), 0, image, &length));
  EXPECT_EQ(lstrcmpiA(image, (folder + "QUILLMERESERV.exe").c_str()), 0) << image;
  ASSERT_EQ(WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0);
  DWORD exitCode = 0;
  ASSERT_TRUE(GetExitCodeProcess(process.get(), &exitCode));
  EXPECT_EQ(exitCode, 2u);  // the helper's answer to a command line without arguments
  process.close();
  test::RemoveTree(scratch);
}

}  // namespace
}  // namespace qm
