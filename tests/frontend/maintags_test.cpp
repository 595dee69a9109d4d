// Tagging and untagging through the main window: what "Add Tag" accepts and stores, the
// duplicate search, "UnTag" over several rows, the press in the "UnTag" column with the list's
// own selection, and the selection and edit events that switch the two buttons.
#include "frontend/mainform.h"

#include "base/handles.h"
#include "support/frontform.h"
#include "support/frontprocess.h"
#include "tools/protocol.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace qm {
namespace {

using test::FakeServerWindow;
using test::FrontForm;

constexpr const char* kUnknownCaption = "Unknown File or Directory";
constexpr const char* kUnknownText =
    "The File or Directory does not exist or is not available on this PC. Please use the Browse "
    "function to identify the file or directory you wish to tag!";
constexpr const char* kUntagCaption = "Untag a File or Directory?";
constexpr const char* kUntagText =
    "By untagging this file, copies will no longer be made when the file changes!\n\t Would you "
    "like to proceed?";

class Tagging : public ::testing::Test {
 protected:
  void SetUp() override {
    files = fx.folder + "files\\";
    ASSERT_TRUE(CreateDirectoryA(files.c_str(), nullptr));
  }
  TfrMain& Start(const std::vector<std::string>& tagged = {}) {
    fx.WriteConf(test::FrontConfText("C:\\Backup\\", "01-01-2004", 3600000, tagged));
    TfrMain& f = fx.Create();
    f.FServerWnd = server.hwnd();
    return f;
  }
  TfrMain& form() { return *fx.form; }
  std::string MakeFile(const std::string& name, size_t bytes = 0) {
    EXPECT_TRUE(test::WriteFileBytes(files + name, std::string(bytes, 'x')));
    return files + name;
  }
  void Tag(const std::string& text) {
    fx.Type(form().eTag, text);
    fx.Click(form().btTag);
  }
  // The reload notices the server got: one per save of conf.xml.
  int Saves() {
    test::PumpMessages();
    int saves = 0;
    for (const auto& command : server.commands) saves += command.code == cmdReload;
    return saves;
  }
  XmlNode Tags() { return form().ConfXML.Root().ChildByName("tagslist"); }
  std::string Caption(int child) { return Tags().Child(child).ChildByName("caption").Text(); }
  std::string FullPath(int row) { return fx.Cell(row, 2) + fx.Cell(row, 1); }
  std::vector<std::string> Captions() {
    std::vector<std::string> names;
    for (int row = 0; row < fx.Rows(); ++row) names.push_back(fx.Cell(row, 1));
    return names;
  }
  // Rows and children pair by index.
  void ExpectPaired() {
    ASSERT_EQ(Tags().ChildCount(), fx.Rows());
    for (int i = 0; i < fx.Rows(); ++i) {
      EXPECT_EQ(Caption(i), fx.Cell(i, 1)) << i;
      EXPECT_EQ(Tags().Child(i).ChildByName("path").Text(), fx.Cell(i, 2)) << i;
    }
  }
  // The height of row's middle in the list's client area; rows past the last continue the
  // pattern of the first.
  int RowMiddle(int row) {
    RECT first{};
    first.left = LVIR_BOUNDS;
    SendMessageA(form().lvTagged, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    const int height = first.bottom - first.top;
    return first.top + row * height + height / 2;
  }
  // A press and release of the left button on the list at x and the middle of row's height.
  void Press(int row, int x, WPARAM keys = MK_LBUTTON) {
    const LPARAM at = MAKELPARAM(x, RowMiddle(row));
    SendMessageA(form().lvTagged, WM_LBUTTONDOWN, keys, at);
    SendMessageA(form().lvTagged, WM_LBUTTONUP, keys & ~MK_LBUTTON, at);
  }
  int UnTagWidth() {
    return static_cast<int>(SendMessageA(form().lvTagged, LVM_GETCOLUMNWIDTH, 0, 0));
  }

  FrontForm fx;
  FakeServerWindow server;
  std::string files;
};

TEST_F(Tagging, AddTagStoresTheItemInTheFrontEndsOrderAndShowsItsRow) {
  const std::string file = MakeFile("a.txt", 3000);
  Start();
  Tag(file);

  ASSERT_EQ(Tags().ChildCount(), 1);
  const XmlNode item = Tags().Child(0);
  const char* names[] = {"caption", "path", "lastsync", "size", "ftype"};
  const std::string values[] = {"a.txt", files, "01-01-2004", "3", "0"};
  ASSERT_EQ(item.ChildCount(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(item.Child(i).Name(), names[i]);
    EXPECT_EQ(item.Child(i).Text(), values[i]) << names[i];
  }
  ASSERT_EQ(fx.Rows(), 1);
  EXPECT_EQ(FullPath(0), file);
  EXPECT_FALSE(fx.Selected(0)) << "the new row is not selected";
  EXPECT_FALSE(IsWindowEnabled(form().btTag));
  EXPECT_TRUE(IsWindowEnabled(form().btUnTag));
  EXPECT_EQ(form().FCurrentTag, file);
  EXPECT_EQ(Saves(), 1);
  EXPECT_NE(test::ReadFileOrEmpty(fx.ConfPath()).find("<caption>a.txt</caption>"),
            std::string::npos);
}

TEST_F(Tagging, OneTrailingBackslashIsDroppedAndTwoAreKeptAndRefused) {
  ASSERT_TRUE(CreateDirectoryA((files + "sub").c_str(), nullptr));
  Start();
  Tag(files + "sub\\");
  ASSERT_EQ(fx.Rows(), 1);
  EXPECT_EQ(fx.Cell(0, 1), "sub");
  EXPECT_EQ(fx.Text(form().eTag), files + "sub");
  EXPECT_TRUE(fx.questions.empty());

  Tag(files + "sub\\\\");
  ASSERT_EQ(fx.questions.size(), 1u);
  EXPECT_EQ(fx.questions[0].caption, kUnknownCaption);
  EXPECT_EQ(fx.questions[0].text, kUnknownText);
  EXPECT_EQ(fx.questions[0].type, static_cast<UINT>(MB_OK));
  EXPECT_EQ(fx.questions[0].owner, form().hwnd());
  EXPECT_EQ(fx.Text(form().eTag), files + "sub\\\\") << "as typed";
  EXPECT_FALSE(IsWindowEnabled(form().btTag));
  EXPECT_EQ(fx.Rows(), 1);
  EXPECT_EQ(Saves(), 1) << "only the first tag";
}

// Texts whose entry a search finds, or that the server could not copy, are refused alike: a
// relative name would be stored with an empty path and a wildcard as a name, and the server
// refuses a "." or ".." folder and a device path ("\\.\") on every run.
TEST_F(Tagging, TextsThatNameNoCopyableEntryAreRefused) {
  MakeFile("a.txt");
  ASSERT_TRUE(CreateDirectoryA((files + "sub").c_str(), nullptr));
  Start();
  char previous[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(files.c_str()));
  // Relative texts: a name in the current folder, a drive without a root, a root without a drive.
  const std::string refused[] = {"",           "a.txt",           files.substr(0, 2),
                                 files.substr(2) + "a.txt",        files + "a*",
                                 files + "?.txt", files + "missing.txt",
                                 files + "sub\\..\\a.txt", files + ".\\a.txt",
                                 "\\\\.\\" + files + "a.txt"};
  for (const std::string& text : refused) {
    fx.questions.clear();
    Tag(text);
    // btTag is off after each refusal; typing turns it on again unless the text is unchanged.
    if (fx.questions.empty()) fx.form->btTagClick();
    ASSERT_EQ(fx.questions.size(), 1u) << text;
    EXPECT_EQ(fx.questions[0].caption, kUnknownCaption) << text;
    EXPECT_FALSE(IsWindowEnabled(form().btTag)) << text;
  }
  SetCurrentDirectoryA(previous);
  EXPECT_EQ(fx.Rows(), 0);
  EXPECT_EQ(Tags().ChildCount(), 0);
  EXPECT_EQ(Saves(), 0);
}

TEST_F(Tagging, ADuplicateSelectsTheLaterOfTwoEqualRowsAndWritesNothing) {
  const std::string file = MakeFile("a.txt");
  const std::string other = MakeFile("b.txt");
  Start({file, other, file});
  const std::string before = test::ReadFileOrEmpty(fx.ConfPath());
  fx.Select(1);
  Tag(file + "\\");

  EXPECT_FALSE(fx.Selected(0));
  EXPECT_TRUE(fx.Selected(1)) << "other selections stay";
  EXPECT_TRUE(fx.Selected(2)) << "the later of the two";
  EXPECT_EQ(fx.Text(form().eTag), file);
  EXPECT_EQ(form().FCurrentTag, file);
  EXPECT_TRUE(IsWindowEnabled(form().btUnTag));
  EXPECT_FALSE(IsWindowEnabled(form().btTag));
  EXPECT_EQ(fx.Rows(), 3);
  EXPECT_EQ(Saves(), 0);
  EXPECT_EQ(test::ReadFileOrEmpty(fx.ConfPath()), before);
}

// An entry is tested and stored in its long full form; only letter case stays as typed.
TEST_F(Tagging, OtherSpellingsOfATaggedEntryFindItsRow) {
  const std::string file = MakeFile("a.txt");
  const std::string folder = files + "Long Folder Name";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  MakeFile("Long Folder Name\\x.txt");
  char shortName[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameA(folder.c_str(), shortName, MAX_PATH), 0u);
  Start({file, folder});
  const struct {
    std::string typed, row;
  } cases[] = {{file + ".", file},
               {file + " ", file},
               {file + ". .", file},
               {folder + ".", folder},
               {files + "\\a.txt", file},
               {shortName, folder},
               {std::string(shortName) + "\\x.txt.", folder + "\\x.txt"}};
  for (const auto& c : cases) {
    Tag(c.typed);
    EXPECT_EQ(fx.Text(form().eTag), c.row) << c.typed;
  }
  ASSERT_EQ(fx.Rows(), 3) << "one new row, for x.txt";
  EXPECT_EQ(FullPath(2), folder + "\\x.txt");
  EXPECT_EQ(Saves(), 1);
  ExpectPaired();
}

TEST_F(Tagging, OtherLetterCaseIsANewTag) {
  const std::string file = MakeFile("a.txt");
  Start({file});
  Tag(files + "A.TXT");
  ASSERT_EQ(fx.Rows(), 2);
  EXPECT_EQ(fx.Cell(1, 1), "A.TXT");
  ExpectPaired();
}

TEST_F(Tagging, FolderAndHiddenEntriesGetTheirSizeAndKind) {
  const std::string three = files + "three", empty = files + "empty", hidden = files + "hidden";
  for (const std::string& folder : {three, empty, hidden})
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  for (const char* name : {"\\1", "\\2", "\\3"}) ASSERT_TRUE(test::WriteFileBytes(three + name, ""));
  ASSERT_TRUE(test::WriteFileBytes(hidden + "\\f", std::string(2048, 'h')));
  ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
  const std::string hiddenFile = MakeFile("h.txt", 10);
  ASSERT_TRUE(SetFileAttributesA(hiddenFile.c_str(), FILE_ATTRIBUTE_HIDDEN));
  Start();
  const struct {
    std::string text;
    const char *size, *kind;
  } cases[] = {{three, "3", "2"}, {empty, "0", "2"}, {hidden, "2", "3"}, {hiddenFile, "1", "1"}};
  for (const auto& c : cases) Tag(c.text);
  ASSERT_EQ(Tags().ChildCount(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Tags().Child(i).ChildByName("size").Text(), cases[i].size) << cases[i].text;
    EXPECT_EQ(Tags().Child(i).ChildByName("ftype").Text(), cases[i].kind) << cases[i].text;
  }
}

TEST_F(Tagging, UntagRemovesEverySelectedRowLowestFirstAndWritesTheFileOnce) {
  std::vector<std::string> six;
  for (const char* name : {"0", "1", "2", "3", "4", "5"}) six.push_back(MakeFile(name));
  Start(six);
  for (int row : {4, 1, 3}) fx.Select(row);
  const std::string lastSelected = FullPath(3);
  ASSERT_EQ(form().FCurrentTag, lastSelected);
  fx.Click(form().btUnTag);

  ASSERT_EQ(fx.questions.size(), 1u);
  EXPECT_EQ(fx.questions[0].caption, kUntagCaption);
  EXPECT_EQ(fx.questions[0].text, kUntagText);
  EXPECT_EQ(fx.questions[0].type, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(Captions(), (std::vector<std::string>{"0", "2", "5"}));
  ExpectPaired();
  EXPECT_EQ(Saves(), 1);
  EXPECT_EQ(fx.Text(form().eTag), "");
  EXPECT_FALSE(IsWindowEnabled(form().btUnTag));
  EXPECT_EQ(form().FCurrentTag, lastSelected) << "removing rows is no selection by the user";
  EXPECT_EQ(test::ReadFileOrEmpty(fx.ConfPath()).find("<caption>1</caption>"), std::string::npos);
}

TEST_F(Tagging, UntagWithNothingSelectedOrAnsweredNoChangesNothing) {
  Start({MakeFile("a.txt"), MakeFile("b.txt")});
  EnableWindow(form().btUnTag, TRUE);
  fx.Click(form().btUnTag);
  EXPECT_TRUE(fx.questions.empty());
  fx.Select(1);
  fx.answer = IDNO;
  fx.Click(form().btUnTag);
  EXPECT_EQ(fx.questions.size(), 1u);
  EXPECT_EQ(fx.Rows(), 2);
  EXPECT_EQ(Tags().ChildCount(), 2);
  EXPECT_EQ(Saves(), 0);
}

TEST_F(Tagging, OnlyALeftPressInsideTheUnTagColumnOnARowAsks) {
  Start({MakeFile("a.txt"), MakeFile("b.txt")});
  fx.answer = IDNO;
  const int width = UnTagWidth();
  const struct {
    int row, x;
    bool asks;
  } cases[] = {{0, 1, false}, {0, 2, true}, {1, width, true}, {1, width + 1, false},
               {2, 10, false}};  // row 2: the place below the last row
  for (const auto& c : cases) {
    fx.questions.clear();
    Press(c.row, c.x);
    EXPECT_EQ(fx.questions.size(), c.asks ? 1u : 0u) << "row " << c.row << " x " << c.x;
  }
  // The list's own right press runs a menu; the handler is given the press directly.
  fx.questions.clear();
  form().lvTaggedMouseDown(TfrMain::MouseButton::Right, 10, RowMiddle(0));
  EXPECT_TRUE(fx.questions.empty());
  // A column the user widened moves the bound with it.
  SendMessageA(form().lvTagged, LVM_SETCOLUMNWIDTH, 0, 80);
  fx.questions.clear();
  Press(0, 70);
  EXPECT_EQ(fx.questions.size(), 1u);
  EXPECT_EQ(fx.Rows(), 2);
}

// The press is handled once the list has applied its own selection: one "Yes" removes what
// the user sees selected, never rows that the press itself unselected.
TEST_F(Tagging, APressInTheUnTagColumnRemovesTheRowsSelectedAfterTheListsOwnSelection) {
  const struct {
    const char* name;
    std::vector<int> selectedBefore;
    int pressed;
    WPARAM keys;
    std::vector<std::string> left;
  } cases[] = {
      {"plain press on an unselected row", {0, 1}, 3, MK_LBUTTON, {"0", "1", "2", "4"}},
      {"plain press on one of several selected", {1, 3}, 3, MK_LBUTTON, {"0", "2", "4"}},
      {"control press on an unselected row", {0}, 2, MK_LBUTTON | MK_CONTROL, {"1", "3", "4"}},
  };
  std::vector<std::string> five;
  for (const char* name : {"0", "1", "2", "3", "4"}) five.push_back(MakeFile(name));
  for (const auto& c : cases) {
    fx.form.reset();
    server.commands.clear();
    Start(five);
    for (int row : c.selectedBefore) fx.Select(row);
    fx.questions.clear();
    Press(c.pressed, 10, c.keys);
    ASSERT_EQ(fx.questions.size(), 1u) << c.name;
    EXPECT_EQ(fx.questions[0].caption, kUntagCaption);
    EXPECT_EQ(Captions(), c.left) << c.name;
    ExpectPaired();
    EXPECT_EQ(Saves(), 1) << c.name;
    EXPECT_EQ(SendMessageA(form().lvTagged, LVM_GETSELECTEDCOUNT, 0, 0), 0)
        << c.name << ": the release selects nothing that moved under the pointer";
  }
}

TEST_F(Tagging, SelectionAndTypingSwitchTheButtons) {
  const std::string a = MakeFile("a.txt"), b = MakeFile("b.txt");
  Start({a, b});
  // Only the selected bit counts: a focus change is no selection.
  LVITEMA focus{};
  focus.stateMask = focus.state = LVIS_FOCUSED;
  SendMessageA(form().lvTagged, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&focus));
  EXPECT_EQ(fx.Text(form().eTag), "");
  EXPECT_FALSE(IsWindowEnabled(form().btUnTag));

  fx.Select(1);
  EXPECT_EQ(fx.Text(form().eTag), b);
  EXPECT_TRUE(IsWindowEnabled(form().btUnTag));
  EXPECT_FALSE(IsWindowEnabled(form().btTag));

  fx.Type(form().eTag, a);
  EXPECT_TRUE(IsWindowEnabled(form().btTag));
  EXPECT_FALSE(IsWindowEnabled(form().btUnTag));

  // Losing a selection reports the row too.
  fx.Select(1, false);
  EXPECT_EQ(fx.Text(form().eTag), b);
  EXPECT_TRUE(IsWindowEnabled(form().btUnTag));
  EXPECT_FALSE(IsWindowEnabled(form().btTag));

  // While the server synchronises, typing switches nothing.
  form().EnableServerControls(false);
  fx.Type(form().eTag, a);
  EXPECT_FALSE(IsWindowEnabled(form().btTag));
  EXPECT_FALSE(IsWindowEnabled(form().btUnTag));
  form().EnableServerControls(true);

  // A reload removes the rows itself: no selection event.
  fx.Select(0);
  fx.Type(form().eTag, b + "x");
  form().Refresh1Click();
  EXPECT_EQ(fx.Text(form().eTag), b + "x");
  EXPECT_EQ(form().FCurrentTag, a);
}

// A change that did not reach conf.xml must not stay in memory, where the next unrelated save
// would write it behind the user's back.
TEST_F(Tagging, AFailedSaveUndoesTheTagOrUntagAndSaysSo) {
  const std::string file = MakeFile("new.txt");
  Start({MakeFile("0"), MakeFile("1"), MakeFile("2")});
  UniqueFile held(CreateFileA(fx.ConfPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr));
  ASSERT_TRUE(held);

  Tag(file);
  ASSERT_EQ(fx.questions.size(), 1u);
  EXPECT_EQ(fx.questions[0].caption, "Harvo Quillmere");
  EXPECT_EQ(fx.questions[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_NE(fx.questions[0].text.find("The change was not saved and has been undone."),
            std::string::npos) << fx.questions[0].text;
  EXPECT_EQ(Captions(), (std::vector<std::string>{"0", "1", "2"}));
  ExpectPaired();
  EXPECT_TRUE(IsWindowEnabled(form().btTag)) << "the tag can be tried again";

  for (int row : {0, 2}) fx.Select(row);
  fx.Click(form().btUnTag);
  ASSERT_EQ(fx.questions.size(), 3u);
  EXPECT_EQ(fx.questions[2].caption, "Harvo Quillmere");
  EXPECT_EQ(Captions(), (std::vector<std::string>{"0", "1", "2"}));
  ExpectPaired();
  EXPECT_TRUE(fx.Selected(0) && fx.Selected(2) && !fx.Selected(1));
  EXPECT_EQ(Saves(), 0);

  held.close();
  form().SaveConfigAndNotify();
  const std::string saved = test::ReadFileOrEmpty(fx.ConfPath());
  for (const char* caption : {"0", "1", "2"})
    EXPECT_NE(saved.find(std::string("<caption>") + caption + "</caption>"), std::string::npos);
  EXPECT_EQ(saved.find("new.txt"), std::string::npos) << saved;
}

}  // namespace
}  // namespace qm
