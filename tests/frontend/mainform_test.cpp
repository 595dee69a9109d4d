// The main window's frame: its size and minimum, the controls' places and how they follow a
// resize, the tag list's columns, the menus, the scan-interval field, the help contexts, the
// About box, and closing and the session's end, which write nothing and end the program.
#include "frontend/mainform.h"

#include "frontend/about.h"
#include "frontend/images.h"
#include "support/frontform.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace qm {
namespace {

using test::FrontForm;

// Valid except for the period, which then leaves the interval controls as they were created.
const char* const kConfWithoutPeriod =
    "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<configuration>\r\n"
    " <lastsyncdate>01-01-2004</lastsyncdate>\r\n <syncperiod>often</syncperiod>\r\n"
    " <targetdrive>C:\\Backup\\</targetdrive>\r\n <tagslist></tagslist>\r\n</configuration>\r\n";

SIZE OuterSize(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

// A control's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

HWND ChildWithText(HWND parent, const std::string& text) {
  struct Search {
    const std::string* text;
    HWND found;
  } search{&text, nullptr};
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        if (TfrMain::TextOf(child) != *s->text) return TRUE;
        s->found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string MenuText(HMENU menu, int position) {
  char text[128] = {};
  GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
  return text;
}

std::vector<std::string> Files(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return names;
}

class MainForm : public ::testing::Test {
 protected:
  TfrMain& Start(const char* conf = kConfWithoutPeriod) {
    fx.WriteConf(conf);
    return fx.Create();
  }
  FrontForm fx;
};

TEST_F(MainForm, OpensAtItsSizeAndCannotBeMadeSmaller) {
  TfrMain& f = Start();
  EXPECT_EQ(OuterSize(f.hwnd()).cx, 770);
  EXPECT_EQ(OuterSize(f.hwnd()).cy, 425);

  MINMAXINFO info{};
  SendMessageA(f.hwnd(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, 770);
  EXPECT_EQ(info.ptMinTrackSize.y, 425);
  SetWindowPos(f.hwnd(), nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(OuterSize(f.hwnd()).cx, 770);
  EXPECT_EQ(OuterSize(f.hwnd()).cy, 425);
}

TEST_F(MainForm, ControlsStandAtTheirPlacesAndTheRightAreaFollowsTheSize) {
  TfrMain& f = Start();
  for (SIZE outer : {SIZE{770, 425}, SIZE{1000, 600}}) {
    SetWindowPos(f.hwnd(), nullptr, 0, 0, outer.cx, outer.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(f.hwnd(), &client);
    const int panelTop = client.bottom - 19 - 69;  // above the status bar, the tag panel
    struct Expected {
      const char* name;
      HWND control;
      RECT place;
    };
    const Expected cases[] = {
        // Settings group at 9, 243 of the left column.
        {"eTarget", f.eTarget, {9 + 17, 243 + 25, 9 + 17 + 160, 243 + 25 + 21}},
        {"btTargetSet", f.btTargetSet, {9 + 208, 243 + 23, 9 + 208 + 24, 243 + 23 + 25}},
        {"cbUnits left", f.cbUnits, {9 + 80, 243 + 68, 9 + 80 + 71, PlaceOf(f.cbUnits).bottom}},
        {"btScanSet", f.btScanSet, {9 + 158, 243 + 67, 9 + 158 + 24, 243 + 67 + 25}},
        // Status group at 9, 131.
        {"lbStatus", f.lbStatus, {9 + 117, 131 + 68, PlaceOf(f.lbStatus).right,
                                  PlaceOf(f.lbStatus).bottom}},
        // The tag panel along the bottom of the right area.
        {"eTag", f.eTag, {257 + 20, panelTop + 35, 257 + 20 + 317, panelTop + 35 + 21}},
        {"btUnTag", f.btUnTag, {257 + 389, panelTop + 8, 257 + 389 + 78, panelTop + 8 + 25}},
        {"btTag", f.btTag, {257 + 389, panelTop + 34, 257 + 389 + 78, panelTop + 34 + 25}},
        // The list fills the middle, with the 2-pixel spacer at its right.
        {"lvTagged", f.lvTagged, {257, 27, client.right - 2, panelTop}},
        {"StatusBar1", f.StatusBar1, {0, client.bottom - 19, client.right, client.bottom}},
    };
    for (const Expected& e : cases) {
      const RECT got = PlaceOf(e.control);
      EXPECT_EQ(got.left, e.place.left) << e.name << " at " << outer.cx;
      EXPECT_EQ(got.top, e.place.top) << e.name << " at " << outer.cx;
      EXPECT_EQ(got.right, e.place.right) << e.name << " at " << outer.cx;
      EXPECT_EQ(got.bottom, e.place.bottom) << e.name << " at " << outer.cx;
    }
  }
  int panels[2] = {};
  ASSERT_EQ(SendMessageA(f.StatusBar1, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(panels)), 2);
  EXPECT_EQ(panels[0], 150);
  EXPECT_EQ(panels[1] - panels[0], 50);
}

TEST_F(MainForm, TagListHasItsFiveColumnsAndWholeRowMultipleSelection) {
  TfrMain& f = Start();
  struct Column {
    const char* title;
    int width;
    int format;
  };
  const Column expected[] = {{"UnTag", 45, LVCFMT_LEFT},
                             {"File name", 100, LVCFMT_LEFT},
                             {"Full Path ", 150, LVCFMT_CENTER},
                             {"Last Synchronised", 110, LVCFMT_CENTER},
                             {"Size, Mb   ", 74, LVCFMT_RIGHT}};
  for (int i = 0; i < 5; ++i) {
    char title[64] = {};
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.pszText = title;
    column.cchTextMax = sizeof title;
    ASSERT_TRUE(SendMessageA(f.lvTagged, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column)))
        << i;
    EXPECT_EQ(std::string(title), expected[i].title) << i;
    EXPECT_EQ(column.cx, expected[i].width) << i;
    EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, expected[i].format) << i;
  }
  LVCOLUMNA sixth{};
  sixth.mask = LVCF_WIDTH;
  EXPECT_FALSE(SendMessageA(f.lvTagged, LVM_GETCOLUMNA, 5, reinterpret_cast<LPARAM>(&sixth)));

  const LONG_PTR style = GetWindowLongPtrA(f.lvTagged, GWL_STYLE);
  EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_FALSE(style & LVS_SINGLESEL);
  EXPECT_FALSE(style & LVS_EDITLABELS);
  EXPECT_TRUE(SendMessageA(f.lvTagged, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) &
              LVS_EX_FULLROWSELECT);
  HIMAGELIST images =
      reinterpret_cast<HIMAGELIST>(SendMessageA(f.lvTagged, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
  ASSERT_NE(images, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(images), 5);
}

TEST_F(MainForm, MenusHoldTheirItems) {
  TfrMain& f = Start();
  ASSERT_EQ(GetMenu(f.hwnd()), f.MainMenu1);
  ASSERT_EQ(GetMenuItemCount(f.MainMenu1), 2);
  EXPECT_EQ(MenuText(f.MainMenu1, 0), "Admin");
  EXPECT_EQ(MenuText(f.MainMenu1, 1), "Help");

  HMENU admin = GetSubMenu(f.MainMenu1, 0);
  ASSERT_EQ(GetMenuItemCount(admin), 5);
  EXPECT_EQ(MenuText(admin, 0), "Sync Now");
  EXPECT_EQ(MenuText(admin, 1), "Start Sync Process");
  EXPECT_EQ(MenuText(admin, 2), "Stop Sync Process");
  EXPECT_TRUE(GetMenuState(admin, 3, MF_BYPOSITION) & MF_SEPARATOR);
  EXPECT_EQ(MenuText(admin, 4), "Exit");
  EXPECT_EQ(GetMenuItemID(admin, 4), static_cast<UINT>(idExit1));

  HMENU help = GetSubMenu(f.MainMenu1, 1);
  ASSERT_EQ(GetMenuItemCount(help), 2);
  EXPECT_EQ(MenuText(help, 0), "Quillmere Help");
  EXPECT_EQ(MenuText(help, 1), "About Quillmere");

  ASSERT_EQ(GetMenuItemCount(f.pmRefresh), 1);
  EXPECT_EQ(MenuText(f.pmRefresh, 0), "Refresh\tF5");
  EXPECT_EQ(GetMenuItemID(f.pmRefresh, 0), static_cast<UINT>(idRefresh1));
}

TEST_F(MainForm, ScanIntervalStartsAtSixtyMinutesAndOnlyTheArrowsChangeIt) {
  TfrMain& f = Start();  // the period cannot be read: the field keeps its first value
  int low = 0, high = 0;
  SendMessageA(f.speScanArrows, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
               reinterpret_cast<LPARAM>(&high));
  EXPECT_EQ(low, 1);
  EXPECT_EQ(high, 999);
  EXPECT_EQ(f.ScanIntervalValue(), 60);
  EXPECT_EQ(fx.Text(f.speScanInterval), "60");
  ASSERT_EQ(SendMessageA(f.cbUnits, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(f.UnitsIndex(), 1);
  char unit[32] = {};
  SendMessageA(f.cbUnits, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(unit));
  EXPECT_EQ(std::string(unit), "minutes");
  SendMessageA(f.cbUnits, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(unit));
  EXPECT_EQ(std::string(unit), "hours");

  // Typing goes nowhere; the arrow keys step the number.
  SendMessageA(f.speScanInterval, WM_CHAR, '7', 0);
  EXPECT_EQ(fx.Text(f.speScanInterval), "60");
  SendMessageA(f.speScanInterval, WM_KEYDOWN, VK_UP, 0);
  EXPECT_EQ(fx.Text(f.speScanInterval), "61");
  EXPECT_EQ(f.ScanIntervalValue(), 61);

  // Values from the document are kept within the field's range.
  f.SetScanIntervalValue(0);
  EXPECT_EQ(f.ScanIntervalValue(), 1);
  f.SetScanIntervalValue(5000);
  EXPECT_EQ(f.ScanIntervalValue(), 999);
  SendMessageA(f.speScanInterval, WM_KEYDOWN, VK_UP, 0);
  EXPECT_EQ(f.ScanIntervalValue(), 999) << "the arrows stop at the top";
}

TEST_F(MainForm, TagButtonsAreDisabledAfterStartWhateverTheDocumentHolds) {
  TfrMain& f = Start();
  EXPECT_FALSE(IsWindowEnabled(f.btTag));
  EXPECT_FALSE(IsWindowEnabled(f.btUnTag));
  for (HWND control : {f.btTargetSet, f.btScanSet, f.btTagBrowse, f.lvTagged, f.eTag})
    EXPECT_TRUE(IsWindowEnabled(control));
  EXPECT_TRUE(f.tmrCheckStatus);
  EXPECT_TRUE(f.tmrStart);
}

TEST_F(MainForm, HelpContextIsTheControlsOrThatOfTheNearestWindowAroundIt) {
  TfrMain& f = Start();
  const HWND lastScanLabel = ChildWithText(f.hwnd(), "Last Scan:");
  ASSERT_NE(lastScanLabel, nullptr);
  struct Case {
    const char* name;
    HWND control;
    DWORD context;
  };
  const Case cases[] = {
      {"the window", f.hwnd(), 2},         {"btTag", f.btTag, 2},
      {"eTag", f.eTag, 4},                 {"lvTagged", f.lvTagged, 4},
      {"eTarget", f.eTarget, 4},           {"btTargetBrowse", f.btTargetBrowse, 4},
      {"speScanInterval", f.speScanInterval, 3}, {"cbUnits", f.cbUnits, 3},
      {"lbStatus", f.lbStatus, 3},         {"\"Last Scan:\"", lastScanLabel, 3},
  };
  for (const Case& c : cases) EXPECT_EQ(TfrMain::HelpContextOf(c.control), c.context) << c.name;
}

TEST_F(MainForm, AboutBoxIsModalAtItsSizeAndClosesWithItsCloseBox) {
  TfrMain& f = Start();
  RECT client{};
  std::string version;
  bool ownerDisabled = false;
  // Ticks go on inside the modal box: the check runs there and closes it as the user would.
  Timer check(50, [&] {
    HWND box = FindWindowA(nullptr, TAboutBox::kCaption);
    if (!box || GetWindowTextLengthA(box) == 0) return;
    GetClientRect(box, &client);
    version = TfrMain::TextOf(ChildWithText(box, "Version 1.0.1.48"));
    ownerDisabled = !IsWindowEnabled(f.hwnd());
    SendMessageA(box, WM_CLOSE, 0, 0);
  });
  check.SetEnabled(true);
  f.AboutQuillmere1Click();
  check.SetEnabled(false);
  EXPECT_EQ(client.right, 335);
  EXPECT_EQ(client.bottom, 218);
  EXPECT_EQ(version, "Version 1.0.1.48");
  EXPECT_TRUE(ownerDisabled) << "modal to the main window";
  EXPECT_EQ(std::string(TAboutBox::kNotice, 18), std::string(18, ' '));
}

// Measured with the font the label actually got: a face that stands in for Arial may be wider.
TEST_F(MainForm, AboutBoxTitleAndVersionShowWholeSideBySide) {
  TfrMain& f = Start();
  RECT title{}, version{};
  SIZE titleText{}, versionText{};
  Timer check(50, [&] {
    HWND box = FindWindowA(nullptr, TAboutBox::kCaption);
    if (!box || GetWindowTextLengthA(box) == 0) return;
    const struct {
      const char* text;
      RECT* place;
      SIZE* extent;
    } labels[] = {{"Harvo Quillmere", &title, &titleText},
                  {"Version 1.0.1.48", &version, &versionText}};
    for (const auto& l : labels) {
      HWND label = ChildWithText(box, l.text);
      *l.place = PlaceOf(label);
      const auto font = reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0));
      *l.extent = TextExtent(label, font, l.text);
    }
    SendMessageA(box, WM_CLOSE, 0, 0);
  });
  check.SetEnabled(true);
  f.AboutQuillmere1Click();
  check.SetEnabled(false);
  EXPECT_LE(title.right, version.left) << "the title covers the version";
  EXPECT_GE(title.right - title.left, titleText.cx);
  EXPECT_GE(version.right - version.left, versionText.cx);
  EXPECT_LE(version.right, TAboutBox::kClientWidth);
}

// Installers and updates close programs through the Restart Manager, with ENDSESSION_CLOSEAPP;
// a log-off or shut-down sends other flags. Each end of the session ends the program as its
// closing does, writing nothing; a session end that was called off (FALSE) changes nothing.
TEST_F(MainForm, ClosingAndTheSessionsEndWriteNothingAndEndTheProgram) {
  const struct {
    const char* how;
    UINT msg;
    WPARAM wp;
    LPARAM lp;
    bool ends;
  } cases[] = {
      {"Exit", WM_COMMAND, MAKEWPARAM(idExit1, 0), 0, true},
      {"log-off", WM_ENDSESSION, TRUE, static_cast<LPARAM>(ENDSESSION_LOGOFF), true},
      {"the Restart Manager", WM_ENDSESSION, TRUE, static_cast<LPARAM>(ENDSESSION_CLOSEAPP), true},
      {"shut-down", WM_ENDSESSION, TRUE, 0, true},
      {"called off", WM_ENDSESSION, FALSE, static_cast<LPARAM>(ENDSESSION_CLOSEAPP), false},
  };
  for (const auto& c : cases) {
    for (bool withConf : {false, true}) {
      SCOPED_TRACE(std::string(c.how) + (withConf ? ", with conf.xml" : ", without conf.xml"));
      FrontForm form;
      if (withConf) form.WriteConf(kConfWithoutPeriod);
      TfrMain& f = form.Create();
      // Something changed in memory only, as a status reply would.
      f.ConfXML.Root().ChildByNameOrAppend("lastsyncdate").SetText("02-02-2024");
      const std::vector<std::string> before = Files(form.folder);
      const HWND window = f.hwnd();
      SendMessageA(window, c.msg, c.wp, c.lp);
      EXPECT_EQ(IsWindow(window) != FALSE, !c.ends) << "the window goes";
      EXPECT_EQ(test::TakeQuitMessage(), c.ends) << "the message loop ends";
      EXPECT_EQ(f.ConfXML.Active(), !c.ends);
      EXPECT_EQ(Files(form.folder), before);
      if (withConf) {
        EXPECT_EQ(test::ReadFileOrEmpty(form.ConfPath()), kConfWithoutPeriod);
      }
    }
  }
}

// The session may end while a question of the window is open: the question goes with the window,
// the handler that asked changes nothing, and the program ends. Real message boxes, whose own
// loop delivers what was posted before they opened.
TEST_F(MainForm, TheSessionsEndWhileAQuestionIsOpenTakesItAlongAndChangesNothing) {
  const std::string oneTag =
      "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<configuration>\r\n"
      " <lastsyncdate>01-01-2004</lastsyncdate>\r\n <syncperiod>3600000</syncperiod>\r\n"
      " <targetdrive>C:\\Backup\\</targetdrive>\r\n <tagslist>\r\n"
      "  <item><caption>a.txt</caption><path>C:\\Docs\\</path><lastsync>01-01-2004</lastsync>"
      "<size>1</size><ftype>0</ftype></item>\r\n </tagslist>\r\n</configuration>\r\n";
  const struct {
    const char* question;
    const char* confAtTheQuestion;  // what conf.xml holds when it is asked
    void (*ask)(FrontForm& form);
  } cases[] = {
      {"untag the row", oneTag.c_str(),
       [](FrontForm& form) {
         form.Select(0);
         form.Click(form.form->btUnTag);
       }},
      {"keep the configuration of an empty file", "",
       [](FrontForm& form) { form.form->Refresh1Click(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.question);
    FrontForm form;
    form.WriteConf(oneTag);
    TfrMain& f = form.Create();
    ASSERT_EQ(form.Rows(), 1);
    form.WriteConf(c.confAtTheQuestion);
    const std::vector<std::string> before = Files(form.folder);
    SetMessageBoxHandler({});  // the fixture puts its own back at the end

    // Runs inside the question's loop unless the question has gone: then it finds nothing
    // open, and the test's own pumping runs it.
    bool questionStayed = false;
    FunctionWindow check([&](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
      if (msg != WM_APP) return DefWindowProcA(hwnd, msg, wp, lp);
      EnumThreadWindows(
          GetCurrentThreadId(),
          [](HWND window, LPARAM stayed) -> BOOL {
            char name[16] = {};
            GetClassNameA(window, name, sizeof name);
            if (std::string(name) != "#32770") return TRUE;
            *reinterpret_cast<bool*>(stayed) = true;
            SendMessageA(window, WM_COMMAND, IDNO, 0);
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&questionStayed));
      return 0;
    });
    ASSERT_TRUE(check.Create("QmSessionEndCheck", HiddenWindow::Kind::MessageOnly));
    const HWND window = f.hwnd();
    PostMessageA(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
    PostMessageA(check.hwnd(), WM_APP, 0, 0);
    c.ask(form);

    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(test::TakeQuitMessage());
    test::PumpMessages();
    EXPECT_FALSE(questionStayed);
    EXPECT_FALSE(f.ConfXML.Active());
    EXPECT_EQ(Files(form.folder), before);
    EXPECT_EQ(test::ReadFileOrEmpty(form.ConfPath()), c.confAtTheQuestion);
  }
}

}  // namespace
}  // namespace qm
