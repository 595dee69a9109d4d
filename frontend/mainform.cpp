// The main window's layout, menus, help, creation and closing.
//
// Every control is a direct child of the window, so that its commands and notifications reach
// the window's own handlers; the group boxes are drawn behind the controls that sit in them,
// and a control's place is computed from the origin of its group or panel.
#include "frontend/mainform.h"

#include "base/prompt.h"
#include "frontend/about.h"
#include "frontend/images.h"
#include "frontend/serverlink.h"
#include "tools/tools.h"

#include <commctrl.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

namespace qm {
namespace {

constexpr const char* kFormCaption = "Harvo Quillmere v1.0";
constexpr const char* kHelpFile = "QUILLMERE.HLP";
constexpr int kFormLeft = 192, kFormTop = 210, kFormWidth = 770, kFormHeight = 425;

// The left column and the strips that stack in it.
constexpr int kLeftWidth = 257;
constexpr int kMargin = 9;
constexpr int kInnerWidth = kLeftWidth - 2 * kMargin;
constexpr int kLogoHeight = 105;
constexpr int kLogoEmblemWidth = 121;
constexpr int kStatusHeadingTop = kMargin + kLogoHeight;
constexpr int kStatusHeadingHeight = 17;
constexpr int kGroup1Top = kStatusHeadingTop + kStatusHeadingHeight;
constexpr int kGroup1Height = 93;
constexpr int kSettingsHeadingTop = kGroup1Top + kGroup1Height;
constexpr int kSettingsHeadingHeight = 19;
constexpr int kGroup2Top = kSettingsHeadingTop + kSettingsHeadingHeight;
constexpr int kGroup2Height = 103;
// The right area.
constexpr int kTaggedHeadingHeight = 27;
constexpr int kSpacerWidth = 2;
constexpr int kBottomPanelHeight = 69;
constexpr int kStatusBarHeight = 19;

constexpr int kScanMin = 1, kScanMax = 999, kScanStart = 60;
constexpr int kArrowsWidth = 17;
constexpr int kComboDropHeight = 120;

// What a control's position is counted from.
enum class Area { Group1, Group2, BottomPanel };

struct ColumnSpec {
  const char* title;
  int width;
  int format;
};
constexpr ColumnSpec kColumns[] = {
    {"UnTag", 45, LVCFMT_LEFT},
    {"File name", 100, LVCFMT_LEFT},
    {"Full Path ", 150, LVCFMT_CENTER},
    {"Last Synchronised", 110, LVCFMT_CENTER},
    {"Size, Mb   ", 74, LVCFMT_RIGHT},
};

// Help is opened beside the window's thread: under Wine a help file that cannot be found
// makes WinHelp ask its own question and wait for the answer, and the status poll must go on
// meanwhile. The thread holds nothing of the window but its handle, so it may outlive it.
// The file is named with the program's folder: the help viewer looks for a bare name only in
// its own current folder, the Windows folder and the PATH, never beside the calling program.
void OpenHelpAside(HWND owner, const std::string& helpFile, UINT command, ULONG_PTR data) {
  try {
    std::thread([owner, helpFile, command, data] {
      WinHelpA(owner, helpFile.c_str(), command, data);
    }).detach();
  } catch (...) {
    // No thread, no help; the window goes on.
  }
}

}  // namespace

struct TfrMain::Look {
  struct Placement {
    HWND control;
    Area area;
    int left, top, width, height;
  };

  Look()
      : formFont(MakeFont("MS Sans Serif", 11, FW_NORMAL)),
        boldFont(MakeFont("MS Sans Serif", 11, FW_BOLD)),
        spinFont(MakeFont("MS Sans Serif", 13, FW_NORMAL)),
        buttonFont(MakeFont("Arial", 12, FW_NORMAL)) {}

  UniqueGdiObject formFont, boldFont, spinFont, buttonFont;
  FormPictures pictures;
  HWND groupBox1 = nullptr;
  HWND groupBox2 = nullptr;
  HWND tooltip = nullptr;
  std::map<HWND, std::string> hints;
  std::map<HWND, Glyph> glyphs;
  std::vector<Placement> placements;
  // Where the pictures stand in the client area; set by LayOut.
  RECT emblemRect{}, nameRect{}, statusHeadingRect{}, settingsHeadingRect{}, taggedHeadingRect{};
  int clientWidth = 0, clientHeight = 0;
};

TfrMain::TfrMain(FrontEnvironment env)
    : env_(std::move(env)), aboutBox_(std::make_unique<TAboutBox>()), look_(std::make_unique<Look>()) {
  if (!env_.clock) env_.clock = &SystemClock();
}

TfrMain::~TfrMain() {
  // The window goes before the fonts, pictures and timers that it uses; unbound first, so that
  // no handler runs on a half-destroyed object.
  Destroy();
  tmrCheckStatus.reset();
  tmrStart.reset();
  if (pmRefresh) DestroyMenu(pmRefresh);
  if (accelerators_) DestroyAcceleratorTable(accelerators_);
}

bool TfrMain::CreateForm() {
  MainMenu1 = CreateMenu();
  HMENU admin1 = CreatePopupMenu();
  AppendMenuA(admin1, MF_STRING, idSyncNow1, "Sync Now");
  AppendMenuA(admin1, MF_STRING, idStartSyncProcess1, "Start Sync Process");
  AppendMenuA(admin1, MF_STRING, idStopSyncProcess1, "Stop Sync Process");
  AppendMenuA(admin1, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(admin1, MF_STRING, idExit1, "Exit");
  HMENU help1 = CreatePopupMenu();
  AppendMenuA(help1, MF_STRING, idQuillmereHelp1, "Quillmere Help");
  AppendMenuA(help1, MF_STRING, idAboutQuillmere1, "About Quillmere");
  AppendMenuA(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(admin1), "Admin");
  AppendMenuA(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(help1), "Help");
  pmRefresh = CreatePopupMenu();
  AppendMenuA(pmRefresh, MF_STRING, idRefresh1, "Refresh\tF5");
  ACCEL refresh{FVIRTKEY, VK_F5, idRefresh1};
  accelerators_ = CreateAcceleratorTableA(&refresh, 1);

  Params params;
  params.className = "TfrMain";
  // The caption comes once the controls exist (OnCreate): a program that finds the window by
  // its caption finds it whole.
  params.title = "";
  params.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  params.x = kFormLeft;
  params.y = kFormTop;
  params.width = kFormWidth;
  params.height = kFormHeight;
  params.menu = MainMenu1;
  params.icon = LoadIconA(nullptr, IDI_APPLICATION);
  params.background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  if (!Create(params)) {
    MainMenu1 = nullptr;  // destroyed by Create
    return false;
  }
  SetWindowContextHelpId(hwnd(), kHelpMainWindow);

  // The poll runs from here on, also while FormCreate's questions are open.
  tmrCheckStatus = std::make_unique<Timer>(1000, [this] { tmrCheckStatusTimer(); });
  tmrCheckStatus->SetEnabled(true);
  tmrStart = std::make_unique<Timer>(10000, [this] { tmrStartTimer(); });

  FormCreate();
  if (env_.visible) {
    ShowWindow(hwnd(), SW_SHOW);
    UpdateWindow(hwnd());
  }
  return true;
}

bool TfrMain::OnCreate() {
  CreateControls();
  HookTagListMouse();
  RECT client{};
  GetClientRect(hwnd(), &client);
  LayOut(client.right, client.bottom);
  SetWindowTextA(hwnd(), kFormCaption);
  return true;
}

void TfrMain::CreateControls() {
  Look& look = *look_;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  // The order of creation is the order of the Tab key.
  auto make = [&](const char* cls, const std::string& text, DWORD style, DWORD exStyle, int id,
                  HGDIOBJ font, DWORD helpContext, Area area, int left, int top, int width,
                  int height) {
    HWND control = CreateWindowExA(exStyle, cls, text.c_str(),
                                   WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, 0, 0, width,
                                   height, hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   instance, nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (helpContext) SetWindowContextHelpId(control, helpContext);
    look.placements.push_back({control, area, left, top, width, height});
    return control;
  };
  // Labels size themselves to their text.
  auto label = [&](const std::string& text, HGDIOBJ font, DWORD helpContext, Area area, int left,
                   int top, int id = 0, int width = 0, DWORD style = 0) {
    const SIZE extent = TextExtent(hwnd(), font, text);
    const int height = TextExtent(hwnd(), font, "Ag").cy;  // also for an empty label
    return make("STATIC", text, SS_LEFT | SS_NOPREFIX | style, 0, id, font, helpContext, area,
                left, top, width ? width : extent.cx, height);
  };
  auto button = [&](Glyph glyph, const std::string& caption, int id, HGDIOBJ font,
                    DWORD helpContext, Area area, int left, int top, int width, int height) {
    HWND control = make("BUTTON", caption, BS_OWNERDRAW | WS_TABSTOP, 0, id, font, helpContext,
                        area, left, top, width, height);
    look.glyphs[control] = glyph;
    return control;
  };
  HGDIOBJ font = look.formFont.get();
  HGDIOBJ bold = look.boldFont.get();

  // The status group: what the server and the document say.
  for (auto [text, top] : {std::pair{"Target Volume:", 11}, {"Scan Interval:", 30},
                           {"Last Scan:", 50}, {"Quillmere Status:", 69}})
    label(text, bold, kHelpStatus, Area::Group1, 6, top);
  constexpr int kValueWidth = kInnerWidth - 117 - 3;
  lbTarget = label("E:\\", font, kHelpStatus, Area::Group1, 117, 10, idLbTarget, kValueWidth,
                   SS_NOTIFY);  // SS_NOTIFY: the mouse must reach it for its hint to show
  lbScanInterval =
      label("1 hour", font, kHelpStatus, Area::Group1, 117, 29, idLbScanInterval, kValueWidth);
  lbLastScan = label("", font, kHelpStatus, Area::Group1, 117, 49, idLbLastScan, kValueWidth);
  lbStatus = label("", font, kHelpStatus, Area::Group1, 117, 68, idLbStatus, kValueWidth);
  look.groupBox1 = make("BUTTON", "", BS_GROUPBOX, WS_EX_TRANSPARENT, 0, font, kHelpStatus, Area::Group1, 0, 0,
                        kInnerWidth, kGroup1Height);

  // The settings group: the target folder and the scan interval.
  label("Target Volume:", bold, kHelpTags, Area::Group2, 6, 11);
  eTarget = make("EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, idTarget, font,
                 kHelpTags, Area::Group2, 17, 25, 160, 21);
  btTargetBrowse = button(Glyph::Browse, "", idTargetBrowse, font, kHelpTags, Area::Group2, 181,
                          23, 24, 25);
  btTargetSet =
      button(Glyph::Apply, "", idTargetSet, font, kHelpTags, Area::Group2, 208, 23, 24, 25);
  label("Scan Interval:", bold, kHelpTags, Area::Group2, 8, 51);
  // Typing is off: only the arrows (and the arrow keys) change the number.
  speScanInterval = make("EDIT", std::to_string(kScanStart),
                         ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                         idScanInterval, look.spinFont.get(), kHelpStatus, Area::Group2, 18, 68,
                         55 - kArrowsWidth, 26);
  speScanArrows = make(UPDOWN_CLASSA, "", UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0, idScanSpin, font,
                       kHelpStatus, Area::Group2, 18 + 55 - kArrowsWidth, 68, kArrowsWidth, 26);
  SendMessageA(speScanArrows, UDM_SETBUDDY, reinterpret_cast<WPARAM>(speScanInterval), 0);
  SendMessageA(speScanArrows, UDM_SETRANGE32, kScanMin, kScanMax);
  SendMessageA(speScanArrows, UDM_SETPOS32, 0, kScanStart);
  cbUnits = make("COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, idUnits,
                 look.spinFont.get(), kHelpStatus, Area::Group2, 80, 68, 71,
                 kComboDropHeight);
  for (const char* unit : {"hours", "minutes"})
    SendMessageA(cbUnits, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(unit));
  SendMessageA(cbUnits, CB_SETCURSEL, 1, 0);
  btScanSet =
      button(Glyph::Apply, "", idScanSet, font, kHelpTags, Area::Group2, 158, 67, 24, 25);
  look.groupBox2 = make("BUTTON", "", BS_GROUPBOX, WS_EX_TRANSPARENT, 0, font, kHelpTags, Area::Group2, 0, 0,
                        kInnerWidth, kGroup2Height);

  // The tag list; its place follows the window's size (LayOut).
  lvTagged = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | LVS_REPORT |
                                 LVS_SHAREIMAGELISTS,
                             0, 0, 100, 100, hwnd(),
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(idTagged)), instance,
                             nullptr);
  SendMessageA(lvTagged, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SetWindowContextHelpId(lvTagged, kHelpTags);
  // Whole-row selection; the file name column carries the kind's picture.
  SendMessageA(lvTagged, LVM_SETEXTENDEDLISTVIEWSTYLE,
               LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES,
               LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES);
  SendMessageA(lvTagged, LVM_SETIMAGELIST, LVSIL_SMALL,
               reinterpret_cast<LPARAM>(look.pictures.ListImages()));
  int index = 0;
  for (const ColumnSpec& spec : kColumns) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = spec.format;
    column.cx = spec.width;
    column.pszText = const_cast<char*>(spec.title);
    SendMessageA(lvTagged, LVM_INSERTCOLUMNA, index++, reinterpret_cast<LPARAM>(&column));
  }

  // The bottom panel: tagging and untagging.
  label("Tag a File or Directory", font, 0, Area::BottomPanel, 16, 15);
  eTag = make("EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, idTag, font, kHelpTags,
              Area::BottomPanel, 20, 35, 317, 21);
  btTagBrowse =
      button(Glyph::Browse, "", idTagBrowse, font, 0, Area::BottomPanel, 343, 33, 24, 25);
  btUnTag = button(Glyph::UnTag, "UnTag", idUnTag, look.buttonFont.get(), 0, Area::BottomPanel,
                   389, 8, 78, 25);
  btTag = button(Glyph::Tag, "Add Tag", idTagButton, look.buttonFont.get(), 0,
                 Area::BottomPanel, 389, 34, 78, 25);

  StatusBar1 = CreateWindowExA(0, STATUSCLASSNAMEA, "",
                               WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | CCS_NORESIZE |
                                   CCS_NOPARENTALIGN | CCS_NODIVIDER,
                               0, 0, 100, kStatusBarHeight, hwnd(),
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(idStatusBar)),
                               instance, nullptr);
  SendMessageA(StatusBar1, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  int panels[] = {150, 150 + 50};  // right edges of the two panels
  SendMessageA(StatusBar1, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(panels));

  // The group boxes stand behind everything placed on them; being transparent, they leave
  // their inside to the window's own background.
  for (HWND group : {look.groupBox1, look.groupBox2})
    SetWindowPos(group, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  look.tooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr,
                                 instance, nullptr);
  SetHintOf(lbTarget, "E:\\");
  SetHintOf(btTargetBrowse, "Browse");
  SetHintOf(btTargetSet, "Apply and Save Target Volume");
  SetHintOf(btScanSet, "Apply and Save Scan Interval");
  SetHintOf(btTagBrowse, "Browse");
  SetHintOf(btUnTag, "Remove File(s) from List");
  SetHintOf(btTag, "Add File to List");
}

void TfrMain::LayOut(int clientWidth, int clientHeight) {
  Look& look = *look_;
  look.clientWidth = clientWidth;
  look.clientHeight = clientHeight;
  const int areaBottom = clientHeight - kStatusBarHeight;
  const int panelTop = areaBottom - kBottomPanelHeight;
  auto origin = [&](Area area) {
    switch (area) {
      case Area::Group1:
        return POINT{kMargin, kGroup1Top};
      case Area::Group2:
        return POINT{kMargin, kGroup2Top};
      case Area::BottomPanel:
        break;
    }
    return POINT{kLeftWidth, panelTop};
  };

  HDWP moves = BeginDeferWindowPos(static_cast<int>(look.placements.size()) + 2);
  auto move = [&](HWND control, int left, int top, int width, int height) {
    if (moves)
      moves = DeferWindowPos(moves, control, nullptr, left, top, width, height,
                             SWP_NOZORDER | SWP_NOACTIVATE);
    else
      SetWindowPos(control, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  for (const Look::Placement& p : look.placements) {
    const POINT o = origin(p.area);
    move(p.control, o.x + p.left, o.y + p.top, p.width, p.height);
  }
  const int listWidth = clientWidth - kLeftWidth - kSpacerWidth;
  move(lvTagged, kLeftWidth, kTaggedHeadingHeight, listWidth > 0 ? listWidth : 0,
       panelTop > kTaggedHeadingHeight ? panelTop - kTaggedHeadingHeight : 0);
  move(StatusBar1, 0, areaBottom, clientWidth, kStatusBarHeight);
  if (moves) EndDeferWindowPos(moves);

  const FormPictures& pictures = look.pictures;
  look.emblemRect = {kMargin, kMargin, kMargin + kLogoEmblemWidth, kMargin + kLogoHeight};
  const int restLeft = kMargin + kLogoEmblemWidth, restWidth = kInnerWidth - kLogoEmblemWidth;
  const int nameLeft = restLeft + (restWidth - pictures.LogoName().width) / 2;
  const int nameTop = kMargin + (kLogoHeight - pictures.LogoName().height) / 2;
  look.nameRect = {nameLeft, nameTop, nameLeft + pictures.LogoName().width,
                   nameTop + pictures.LogoName().height};
  const int right = kMargin + kInnerWidth;
  look.statusHeadingRect = {right - pictures.StatusHeading().width, kStatusHeadingTop, right,
                            kStatusHeadingTop + pictures.StatusHeading().height};
  look.settingsHeadingRect = {right - pictures.SettingsHeading().width, kSettingsHeadingTop,
                              right, kSettingsHeadingTop + pictures.SettingsHeading().height};
  look.taggedHeadingRect = {kLeftWidth, 0, kLeftWidth + pictures.TaggedHeading().width,
                            pictures.TaggedHeading().height};
}

void TfrMain::PaintPictures(HDC dc) {
  const Look& look = *look_;
  const FormPictures& pictures = look.pictures;
  PaintPicture(dc, pictures.LogoEmblem(), look.emblemRect);
  PaintPicture(dc, pictures.LogoName(), look.nameRect);
  PaintPicture(dc, pictures.StatusHeading(), look.statusHeadingRect);
  PaintPicture(dc, pictures.SettingsHeading(), look.settingsHeadingRect);
  PaintPicture(dc, pictures.TaggedHeading(), look.taggedHeadingRect);
}

// Flat picture buttons: the glyph (greyed while disabled), the caption beside it, a light
// frame that sinks while the button is pressed.
void TfrMain::DrawButton(const DRAWITEMSTRUCT& item) {
  const auto glyph = look_->glyphs.find(item.hwndItem);
  if (glyph == look_->glyphs.end()) return;
  HDC dc = item.hDC;
  RECT rect = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
  DrawEdge(dc, &rect, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
  const int shift = pressed ? 1 : 0;
  const std::string caption = TextOf(item.hwndItem);
  const int centreY = (rect.top + rect.bottom) / 2 + shift;
  if (caption.empty()) {
    look_->pictures.DrawGlyph(dc, glyph->second, disabled, (rect.left + rect.right) / 2 + shift,
                              centreY);
  } else {
    look_->pictures.DrawGlyph(dc, glyph->second, disabled, rect.left + 6 + kGlyphSize / 2 + shift,
                              centreY);
    RECT text = rect;
    text.left += 6 + kGlyphSize + 4 + shift;
    text.top += shift;
    text.bottom += shift;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  if (item.itemState & ODS_FOCUS) {
    RECT focus = item.rcItem;
    InflateRect(&focus, -3, -3);
    DrawFocusRect(dc, &focus);
  }
}

// --- handlers of this file ---

void TfrMain::FormCreate() {
  FillFmtSettings("dd-mm-yyyy");
  // Read only, and an empty or missing InstallDir keeps conf.xml beside the program.
  const ServerRendezvous found = RendezvousAtStart(env_.registryKey, env_.programFolder);
  FConfPath = found.confPath;
  FServerWnd = found.serverWnd;
  LoadConfig();
  EnableWindow(btTag, FALSE);
  EnableWindow(btUnTag, FALSE);
  tmrStart->SetEnabled(true);
}

void TfrMain::FormClose() {
  // Closing writes nothing: whatever was not saved is dropped.
  ConfXML.Deactivate();
}

void TfrMain::EndSession() {
  // At a log-off or shut-down Windows may end the process as soon as WM_ENDSESSION is answered.
  // The Restart Manager's close (ENDSESSION_CLOSEAPP) does not: it waits for the program to end
  // by itself, and an installer kills one that stays only after a timeout, if at all. So the
  // end is a close: the document dropped unwritten before the answer, then the window goes and
  // the loop ends. Wine's Restart Manager closes no program; only the tests send this here.
  // A box the window owns (a question, the About box, a picker) goes with the window: its modal
  // loop returns no answer (0), and the handler that asked finds the document dropped.
  FormClose();
  DestroyWindow(hwnd());
}

void TfrMain::Exit1Click() { SendMessageA(hwnd(), WM_CLOSE, 0, 0); }

void TfrMain::QuillmereHelp1Click() {
  OpenHelpAside(hwnd(), env_.programFolder + kHelpFile, HELP_CONTENTS, 0);
}

void TfrMain::AboutQuillmere1Click() { aboutBox_->ShowModal(hwnd()); }

DWORD TfrMain::HelpContextOf(HWND control) {
  for (HWND window = control; window; window = GetParent(window))
    if (const DWORD context = GetWindowContextHelpId(window)) return context;
  return 0;
}

// --- small control helpers ---

std::string TfrMain::TextOf(HWND control) {
  const int length = GetWindowTextLengthA(control);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int got = GetWindowTextA(control, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

void TfrMain::SetTextOf(HWND control, const std::string& text) {
  if (TextOf(control) != text) SetWindowTextA(control, text.c_str());
}

void TfrMain::SetHintOf(HWND control, const std::string& text) {
  Look& look = *look_;
  TTTOOLINFOA tool{};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd();
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<char*>(text.c_str());
  const bool known = look.hints.count(control) != 0;
  look.hints[control] = text;
  SendMessageA(look.tooltip, known ? TTM_UPDATETIPTEXTA : TTM_ADDTOOLA, 0,
               reinterpret_cast<LPARAM>(&tool));
}

std::string TfrMain::HintOf(HWND control) const {
  const auto hint = look_->hints.find(control);
  return hint == look_->hints.end() ? std::string() : hint->second;
}

int TfrMain::ScanIntervalValue() const {
  const std::string text = TextOf(speScanInterval);
  try {
    size_t used = 0;
    const int value = std::stoi(text, &used);
    if (used == text.size()) return value;
  } catch (...) {
  }
  return static_cast<int>(SendMessageA(speScanArrows, UDM_GETPOS32, 0, 0));
}

void TfrMain::SetScanIntervalValue(int value) {
  // The range narrows while hours are selected (cbUnitsChange).
  int low = kScanMin, high = kScanMax;
  SendMessageA(speScanArrows, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
               reinterpret_cast<LPARAM>(&high));
  value = value < low ? low : value > high ? high : value;
  SendMessageA(speScanArrows, UDM_SETPOS32, 0, value);
  SetTextOf(speScanInterval, std::to_string(value));  // the change handler runs on a change
}

void TfrMain::ScanArrowsMoved() {
  const int value = static_cast<int>(SendMessageA(speScanArrows, UDM_GETPOS32, 0, 0));
  SetTextOf(speScanInterval, std::to_string(value));
}

int TfrMain::UnitsIndex() const {
  return static_cast<int>(SendMessageA(cbUnits, CB_GETCURSEL, 0, 0));
}

void TfrMain::SetUnitsIndex(int index) {
  SendMessageA(cbUnits, CB_SETCURSEL, index, 0);
  cbUnitsChange();
}

// --- messages ---

LRESULT TfrMain::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SYNCCONTROL:
      ReciveMsg(reinterpret_cast<HWND>(wp), lp);
      return 0;
    case WM_ENDSESSION:
      // Whatever lParam says: a log-off or shut-down, or ENDSESSION_CLOSEAPP, with which the
      // Restart Manager closes programs for installers and updates.
      if (wp) EndSession();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd(), &paint);
      PaintPictures(dc);
      EndPaint(hwnd(), &paint);
      return 0;
    }
    case WM_DRAWITEM:
      if (lp) DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
      return TRUE;
    case WM_VSCROLL:
      if (reinterpret_cast<HWND>(lp) == speScanArrows && speScanArrows) {
        ScanArrowsMoved();
        return 0;
      }
      break;
  }
  return Window::OnMessage(msg, wp, lp);
}

void TfrMain::OnCommand(int id, int notifyCode, HWND control) {
  try {
    if (OnEditingCommand(id, notifyCode)) return;
    switch (id) {
      case idScanInterval:
        if (notifyCode == EN_CHANGE) speScanIntervalChange();
        break;
      case idTagBrowse:
        if (notifyCode == BN_CLICKED) btTagBrowseClick();
        break;
      case idTargetBrowse:
        if (notifyCode == BN_CLICKED) btTargetBrowseClick();
        break;
      case idSyncNow1:
        SyncNow1Click();
        break;
      case idStartSyncProcess1:
        StartSyncProcess1Click();
        break;
      case idStopSyncProcess1:
        StopSyncProcess1Click();
        break;
      case idExit1:
        Exit1Click();
        break;
      case idQuillmereHelp1:
        QuillmereHelp1Click();
        break;
      case idAboutQuillmere1:
        AboutQuillmere1Click();
        break;
      case idRefresh1:
        // F5 belongs to the list's pop-up menu: it works while the list has the focus.
        if (notifyCode == 1 && GetFocus() != lvTagged) break;
        Refresh1Click();
        break;
    }
  } catch (const std::exception& failure) {
    // What a handler lets out is shown as the application shows any failure.
    ShowMessageBox(hwnd(), failure.what(), kApplicationTitle, MB_OK | MB_ICONERROR);
  }
}

LRESULT TfrMain::OnNotify(NMHDR& header) { return OnTagListNotify(header); }

void TfrMain::OnClose() {
  FormClose();
  DestroyWindow(hwnd());
}

void TfrMain::OnDestroy() {
  if (tmrCheckStatus) tmrCheckStatus->SetEnabled(false);
  if (tmrStart) tmrStart->SetEnabled(false);
  PostQuitMessage(0);
}

void TfrMain::OnSize(int clientWidth, int clientHeight) {
  if (!lvTagged) return;  // before the controls exist
  LayOut(clientWidth, clientHeight);
  // The pictures in the right area stand still, but the status bar's grip moves.
  InvalidateRect(hwnd(), nullptr, FALSE);
}

void TfrMain::OnGetMinMaxInfo(MINMAXINFO& info) {
  info.ptMinTrackSize = POINT{kFormWidth, kFormHeight};
}

bool TfrMain::OnHelp(const HELPINFO& info) {
  // F1 in a menu asks about the window; elsewhere about the control that had the focus.
  const HWND about = info.iContextType == HELPINFO_WINDOW
                         ? static_cast<HWND>(info.hItemHandle)
                         : hwnd();
  DWORD context = HelpContextOf(about);
  if (!context) context = kHelpMainWindow;
  OpenHelpAside(hwnd(), env_.programFolder + kHelpFile, HELP_CONTEXT, context);
  return true;
}

bool TfrMain::OnContextMenu(HWND window, POINT screen) {
  if (window != lvTagged) return false;
  if (screen.x == -1 && screen.y == -1) {  // from the keyboard: at the list's corner
    RECT rect{};
    GetWindowRect(lvTagged, &rect);
    screen = POINT{rect.left + 8, rect.top + 8};
  }
  TrackPopupMenu(pmRefresh, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, hwnd(),
                 nullptr);
  return true;
}

bool TfrMain::OnCopyData(HWND sender, const COPYDATASTRUCT& block) {
  HeardFrom(sender);
  ReciveData(block);
  return true;
}

}  // namespace qm
