// The target folder and the scan interval through the main window: what "Apply" does with a
// typed target after every outcome, the folder it may create, and the period it stores.
#include "frontend/mainform.h"

#include "base/fileio.h"
#include "base/handles.h"
#include "frontend/screentext.h"
#include "support/frontform.h"
#include "support/frontprocess.h"
#include "support/syncscene.h"
#include "tools/protocol.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::FakeServerWindow;
using test::FrontForm;

constexpr const char* kSame = "New target volume is equal to current target volume";
constexpr const char* kNoVolume = "Invalid Target Volume";
constexpr const char* kNoFolder = "Invalid Target Volume Directory";
constexpr const char* kSure = "Are You Sure?";
constexpr const char* kUnknown = "Unknown File or Directory";

// Every box of the target, by caption: its exact text and its buttons.
const std::map<std::string, std::pair<std::string, UINT>> kBoxes = {
    {kSame,
     {"New Target Volume is the same as Current Target Volume \x96 No Change Saved!", MB_OK}},
    {kNoVolume,
     {"The selected Target Volume is not available on this PC. Please use Browse to view a list "
      "of the curently available Volumes and Directories.",
      MB_OK}},
    {kNoFolder,
     {"The selected Target Directory does not exist. Do you want Quillmere to create it?",
      MB_YESNO}},
    {kSure,
     {"When you change the Target Volume the complete list of Tagged Files will be copied to "
      "this new location. Are you sure you wish to Proceed?",
      MB_YESNO}},
    {kUnknown,
     {"The File or Directory does not exist or is not available on this PC. Please use the "
      "Browse function to identify the file or directory you wish to tag!",
      MB_OK}},
};

class Settings : public ::testing::Test {
 protected:
  TfrMain& Start(const std::string& conf) {
    fx.WriteConf(conf);
    TfrMain& f = fx.Create();
    f.FServerWnd = server.hwnd();
    return f;
  }
  TfrMain& Start() { return Start(test::FrontConfText(stored, "01-01-2004", 3600000)); }
  TfrMain& form() { return *fx.form; }
  int Saves() {
    test::PumpMessages();
    int saves = 0;
    for (const auto& command : server.commands) saves += command.code == cmdReload;
    return saves;
  }
  std::string Stored(const char* name) {
    return form().ConfXML.Root().ChildByName(name).Text();
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (const auto& q : fx.questions) captions.push_back(q.caption);
    return captions;
  }
  void ExpectKnownBoxes() {
    for (const auto& q : fx.questions) {
      const auto box = kBoxes.find(q.caption);
      ASSERT_NE(box, kBoxes.end()) << q.caption;
      EXPECT_EQ(q.text, box->second.first);
      EXPECT_EQ(q.type, box->second.second) << q.caption;
      EXPECT_EQ(q.owner, form().hwnd());
    }
  }
  void ApplyTarget(const std::string& typed, std::vector<int> answers) {
    fx.questions.clear();
    fx.answers.assign(answers.begin(), answers.end());
    fx.Type(form().eTarget, typed);
    fx.Click(form().btTargetSet);
  }

  FrontForm fx;
  FakeServerWindow server;
  const std::string stored = fx.folder + "target\\";
};

TEST_F(Settings, ATypedTargetIsTrimmedAndEndsInABackslashWhateverFollows) {
  ASSERT_TRUE(CreateDirectoryA(stored.c_str(), nullptr));
  ASSERT_TRUE(test::WriteFileBytes(fx.folder + "a file", "x"));
  const std::string unused = test::UnusedDriveRoot();
  ASSERT_FALSE(unused.empty());
  Start();
  const std::string conf = test::ReadFileOrEmpty(fx.ConfPath());
  const std::string label = fx.Text(form().lbTarget);
  const std::string storedBare = stored.substr(0, stored.size() - 1);
  const struct {
    std::string typed;
    std::vector<int> answers;
    std::vector<std::string> boxes;
    std::string shown;
  } cases[] = {
      {"", {}, {}, ""},
      {" \t  ", {}, {}, ""},
      {"  " + storedBare + " ", {}, {kSame}, stored},
      {unused + "Copies", {}, {kNoVolume}, unused + "Copies\\"},
      {"\\\\server\\share", {}, {kNoVolume}, "\\\\server\\share\\"},
      {"\\", {}, {kNoVolume}, "\\"},
      {fx.folder + "targ*", {}, {kUnknown}, fx.folder + "targ*\\"},
      {fx.folder + "new1\\deeper", {IDNO}, {kNoFolder}, fx.folder + "new1\\deeper\\"},
      {fx.folder + "new2\\deeper ", {IDYES, IDNO}, {kNoFolder, kSure}, fx.folder + "new2\\deeper\\"},
      {fx.folder + "a file", {IDNO}, {kSure}, fx.folder + "a file\\"},
      {fx.folder.substr(0, 2), {IDNO}, {kSure}, fx.folder.substr(0, 3)},
  };
  for (const auto& c : cases) {
    ApplyTarget(c.typed, c.answers);
    EXPECT_EQ(Captions(), c.boxes) << c.typed;
    ExpectKnownBoxes();
    EXPECT_EQ(fx.Text(form().eTarget), c.shown) << c.typed;
  }
  EXPECT_FALSE(FolderExists(fx.folder + "new1"));
  EXPECT_TRUE(FolderExists(fx.folder + "new2\\deeper")) << "made before the last question";
  EXPECT_EQ(Stored("targetdrive"), stored);
  EXPECT_EQ(test::ReadFileOrEmpty(fx.ConfPath()), conf);
  EXPECT_EQ(fx.Text(form().lbTarget), label);
  EXPECT_EQ(Saves(), 0);
}

TEST_F(Settings, AMissingFolderMadeOnYesIsAppliedAndSaved) {
  Start();
  ApplyTarget(fx.folder + "made\\below", {IDYES, IDYES});
  EXPECT_EQ(Captions(), (std::vector<std::string>{kNoFolder, kSure}));
  EXPECT_TRUE(FolderExists(fx.folder + "made\\below"));
  EXPECT_EQ(Stored("targetdrive"), fx.folder + "made\\below\\");
  EXPECT_NE(test::ReadFileOrEmpty(fx.ConfPath())
                .find("<targetdrive>" + fx.folder + "made\\below\\</targetdrive>"),
            std::string::npos);
  EXPECT_EQ(Saves(), 1);
  EXPECT_EQ(form().HintOf(form().lbTarget), fx.folder + "made\\below\\");
}

TEST_F(Settings, TheSameTargetIsComparedWithLetterCase) {
  ASSERT_TRUE(CreateDirectoryA(stored.c_str(), nullptr));
  Start();
  std::string upper = stored;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_NE(upper, stored);
  ApplyTarget(upper, {IDYES});
  EXPECT_EQ(Captions(), std::vector<std::string>{kSure});
  EXPECT_EQ(Stored("targetdrive"), upper);
  EXPECT_EQ(Saves(), 1);
}

TEST_F(Settings, AFolderThatCannotBeMadeIsReportedWithItsPathAndNothingIsSaved) {
  ASSERT_TRUE(test::WriteFileBytes(fx.folder + "plain", "x"));
  Start();
  const std::string folder = fx.folder + "plain\\sub";
  ApplyTarget(folder, {IDYES});
  ASSERT_EQ(Captions(), (std::vector<std::string>{kNoFolder, "Error"}));
  EXPECT_EQ(fx.questions[1].text, "Can't create new directiry:" + folder);
  EXPECT_EQ(fx.questions[1].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_EQ(Stored("targetdrive"), stored);
  EXPECT_EQ(Saves(), 0);
}

// Without a readable stored target every apply would end in silence, and the target could
// never be repaired from the window.
TEST_F(Settings, AMissingOrEmptyStoredTargetCountsAsDifferent) {
  const std::string full = test::FrontConfText(stored, "01-01-2004", 3600000);
  const std::string element = "<targetdrive>" + stored + "</targetdrive>";
  const size_t at = full.find(element);
  ASSERT_NE(at, std::string::npos);
  for (const std::string& replacement : {std::string("<targetdrive/>"), std::string()}) {
    fx.form.reset();
    server.commands.clear();
    std::string conf = full;
    Start(conf.replace(at, element.size(), replacement));
    ApplyTarget(fx.folder, {IDYES});
    EXPECT_EQ(Captions(), std::vector<std::string>{kSure}) << replacement;
    EXPECT_EQ(Stored("targetdrive"), fx.folder) << replacement;
    EXPECT_EQ(Saves(), 1) << replacement;
  }
}

TEST_F(Settings, OneHourAndSixtyMinutesAreBothStoredAs3600000AndEveryApplySaves) {
  Start(test::FrontConfText(stored, "01-01-2004", 1800000));
  const struct {
    int unit, value;
    const char* label;
  } cases[] = {{kHoursUnit, 1, "1 hour"}, {kMinutesUnit, 60, "60 minutes"}};
  for (const auto& c : cases) {
    form().SetUnitsIndex(c.unit);
    form().SetScanIntervalValue(c.value);
    fx.Click(form().btScanSet);
    EXPECT_EQ(Stored("syncperiod"), "3600000") << c.label;
    EXPECT_EQ(fx.Text(form().lbScanInterval), c.label);
  }
  EXPECT_EQ(Saves(), 2);
  EXPECT_NE(test::ReadFileOrEmpty(fx.ConfPath()).find("<syncperiod>3600000</syncperiod>"),
            std::string::npos);
}

// 597 hours and more do not fit the signed 32-bit syncperiod that both programs read.
TEST_F(Settings, HoursStopAt596) {
  Start();
  form().SetUnitsIndex(kMinutesUnit);
  form().SetScanIntervalValue(999);
  // The user picks hours from the list.
  SendMessageA(form().cbUnits, CB_SETCURSEL, kHoursUnit, 0);
  SendMessageA(form().hwnd(), WM_COMMAND, MAKEWPARAM(idUnits, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(form().cbUnits));
  EXPECT_EQ(form().ScanIntervalValue(), 596);
  form().SetScanIntervalValue(700);
  EXPECT_EQ(form().ScanIntervalValue(), 596);
  fx.Click(form().btScanSet);
  EXPECT_EQ(Stored("syncperiod"), "2145600000");
  EXPECT_EQ(fx.Text(form().lbScanInterval), "596 hours");
  form().SetUnitsIndex(kMinutesUnit);
  form().SetScanIntervalValue(999);
  EXPECT_EQ(form().ScanIntervalValue(), 999);
}

// A setting that did not reach conf.xml must not stay in memory, where the next unrelated save
// would write it: the server would copy to a target the window does not show.
TEST_F(Settings, AFailedSaveUndoesTheTargetOrIntervalAndSaysSo) {
  Start();
  UniqueFile held(CreateFileA(fx.ConfPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr));
  ASSERT_TRUE(held);

  ApplyTarget(fx.folder, {IDYES});
  ASSERT_EQ(Captions(), (std::vector<std::string>{kSure, "Harvo Quillmere"}));
  EXPECT_EQ(fx.questions[1].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_NE(fx.questions[1].text.find("The change was not saved and has been undone."),
            std::string::npos) << fx.questions[1].text;
  EXPECT_EQ(Stored("targetdrive"), stored);
  EXPECT_EQ(form().HintOf(form().lbTarget), stored);

  fx.questions.clear();
  form().SetUnitsIndex(kMinutesUnit);
  form().SetScanIntervalValue(5);
  fx.Click(form().btScanSet);
  ASSERT_EQ(Captions(), std::vector<std::string>{"Harvo Quillmere"});
  EXPECT_EQ(fx.questions[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_EQ(Stored("syncperiod"), "3600000");
  EXPECT_EQ(fx.Text(form().lbScanInterval), "1 hour");
  EXPECT_EQ(Saves(), 0);

  held.close();
  form().SaveConfigAndNotify();
  const std::string saved = test::ReadFileOrEmpty(fx.ConfPath());
  EXPECT_NE(saved.find("<targetdrive>" + stored + "</targetdrive>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<syncperiod>3600000</syncperiod>"), std::string::npos) << saved;
}

}  // namespace
}  // namespace qm
