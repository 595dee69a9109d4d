// The built QuillmereServ.exe started under Wine: the registry rendezvous, conf.xml and the log
// at start, the single-instance question, and the orderly end through the hidden form.
#include "base/fileio.h"
#include "base/registry.h"
#include "tools/protocol.h"
#include "support/serverprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm {
namespace {

using test::LogText;
using test::ReadLines;
using test::ScratchServer;
using test::WaitUntil;

constexpr unsigned kStartMs = 30000;
constexpr unsigned kEndMs = 30000;
constexpr const char* kAlreadyRunning = "Application is already running.";

std::string NineLineConfiguration(const std::string& installDir) {
  return "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
         "<configuration>\r\n"
         " <lastsyncdate>01-01-2004</lastsyncdate> \r\n"
         " <syncperiod>3600000</syncperiod> \r\n"
         " <targetdrive>" + installDir + "Default Target\\</targetdrive> \r\n"
         " <silentflag>0</silentflag> \r\n"
         " <tagslist>\r\n"
         " </tagslist>\r\n"
         "</configuration>\r\n";
}

HWND ControlWindowFromRegistry() {
  const auto handle = test::ReadServerHandle();
  return handle ? reinterpret_cast<HWND>(static_cast<uintptr_t>(*handle)) : nullptr;
}

// Ends the program the way the class library's close of the main form would.
bool CloseHiddenForm(test::ServerProcess& process) {
  const HWND form = test::WaitForProcessWindow(process.Pid(), "frQuillmereServ", 10000);
  return form && PostMessageA(form, WM_CLOSE, 0, 0);
}

TEST(ServerStart, FirstStartPublishesItselfAndWritesDefaultsThenClosesInOrder) {
  ScratchServer server("first");
  ASSERT_FALSE(test::ReadServerInstallDir().has_value());
  ASSERT_TRUE(server.Start());

  EXPECT_EQ(test::ReadServerInstallDir().value_or("?"), server.folder);
  DWORD owner = 0;
  GetWindowThreadProcessId(server.control, &owner);
  EXPECT_EQ(owner, server.process.Pid());

  const std::string expected = NineLineConfiguration(server.folder);
  EXPECT_TRUE(WaitUntil([&] { return test::ReadFileOrEmpty(server.folder + "conf.xml") == expected; },
                        10000))
      << test::ReadFileOrEmpty(server.folder + "conf.xml");
  auto lines = test::WaitForLogText(server.LogPath(), "QuillmereServer# Started.", 10000);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(LogText(lines.front()), "QuillmereServer# Started.");

  ASSERT_TRUE(CloseHiddenForm(server.process));
  ASSERT_TRUE(server.process.WaitForExit(kEndMs));
  lines = ReadLines(server.LogPath());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(LogText(lines.back()), "QuillmereServer# Stoped.");
  EXPECT_EQ(ControlWindowFromRegistry(), server.control) << "Handle stays after the end";
}

TEST(ServerStart, InstallDirNamingAnotherFolderIsABarePrefixAndIsNotRewritten) {
  ScratchServer server("prefix");
  const std::string other = test::MakeScratchFolder("elsewhere");
  const std::string prefix = other + "inst-";  // no backslash: used exactly as it stands
  {
    auto key = RegistryKey::OpenOrCreate(HKEY_LOCAL_MACHINE, kServerKeyPath);
    ASSERT_TRUE(key.has_value());
    ASSERT_TRUE(key->WriteString("InstallDir", prefix));
  }
  ASSERT_TRUE(server.Start());

  EXPECT_TRUE(WaitUntil([&] { return FileExists(prefix + "conf.xml"); }, 10000));
  EXPECT_EQ(test::ReadFileOrEmpty(prefix + "conf.xml"), NineLineConfiguration(prefix));
  EXPECT_FALSE(test::WaitForLogText(prefix + "quillmere.log", "QuillmereServer# Started.", 10000)
                   .empty());
  EXPECT_FALSE(FileExists(server.folder + "conf.xml"));
  EXPECT_FALSE(FileExists(server.LogPath()));
  EXPECT_EQ(test::ReadServerInstallDir().value_or("?"), prefix);

  server.process.Kill();
  test::RemoveTree(other);
}

TEST(ServerStart, InstallDirOfAnotherTypeDoesNotStopTheServer) {
  ScratchServer server("dword");
  {
    auto key = RegistryKey::OpenOrCreate(HKEY_LOCAL_MACHINE, kServerKeyPath);
    ASSERT_TRUE(key.has_value());
    ASSERT_TRUE(key->WriteInteger("InstallDir", 42));
  }
  ASSERT_TRUE(server.Start());
  // Replaced by the program folder, where the log thread writes.
  EXPECT_EQ(test::ReadServerInstallDir().value_or("?"), server.folder);
  EXPECT_FALSE(test::WaitForLogText(server.LogPath(), "QuillmereServer# Started.", 10000).empty());
  EXPECT_TRUE(WaitUntil([&] { return FileExists(server.folder + "conf.xml"); }, 10000));
  EXPECT_TRUE(server.process.Running());
}

class SecondStart : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(first.Start());
    test::WaitForLogText(first.LogPath(), "QuillmereServer# Started.", 10000);
    ASSERT_TRUE(second.Start(first.exe));
    box = test::WaitForProcessWindow(second.Pid(), kAlreadyRunning, kStartMs);
    ASSERT_NE(box, nullptr) << "the second copy did not ask";
  }
  void Answer(int button) {
    const HWND item = GetDlgItem(box, button);
    ASSERT_NE(item, nullptr);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(item, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &result);
  }

  ScratchServer first{"instance"};
  test::ServerProcess second;
  HWND box = nullptr;
};

TEST_F(SecondStart, NoLeavesTheRunningServerAndEndsTheNewCopyUntouched) {
  const std::string confBefore = test::ReadFileOrEmpty(first.folder + "conf.xml");
  Answer(IDNO);
  ASSERT_TRUE(second.WaitForExit(kEndMs));
  EXPECT_TRUE(first.process.Running());
  EXPECT_EQ(ControlWindowFromRegistry(), first.control);
  EXPECT_TRUE(IsWindow(first.control));
  EXPECT_EQ(test::ReadFileOrEmpty(first.folder + "conf.xml"), confBefore);
  int started = 0;
  for (const std::string& line : ReadLines(first.LogPath()))
    if (LogText(line) == "QuillmereServer# Started.") ++started;
  EXPECT_EQ(started, 1) << "the new copy must not have logged";
}

TEST_F(SecondStart, YesEndsTheFirstServerWithoutItsShutDown) {
  Answer(IDYES);
  ASSERT_TRUE(first.process.WaitForExit(kEndMs));
  const HWND control = second.WaitForControlWindow(kStartMs);
  ASSERT_NE(control, nullptr) << "the new copy publishes its own window";
  EXPECT_NE(control, first.control);
  EXPECT_EQ(test::ReadServerInstallDir().value_or("?"), first.folder);
  for (const std::string& line : ReadLines(first.LogPath()))
    EXPECT_NE(LogText(line), "QuillmereServer# Stoped.");
  second.Kill();
}

}  // namespace
}  // namespace qm
