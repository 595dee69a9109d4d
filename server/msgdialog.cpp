#include "server/msgdialog.h"

#include "server/msgdialog_res.h"

namespace qm {

TfrMsgDialog* frMsgDialog = nullptr;

namespace {

constexpr int kWindowLeft = 312;
constexpr int kWindowTop = 157;
constexpr int kClientWidth = 461;
constexpr int kClientHeight = 132;
constexpr COLORREF kHeadlineColour = RGB(255, 0, 0);

// Every control sits on a borderless panel at 8,8 of the client area; positions are the
// panel's.
constexpr int kPanelLeft = 8;
constexpr int kPanelTop = 8;

struct Placement {
  int id;
  int left, top, width, height;
};

constexpr Placement kPlacements[] = {
    {IDC_REDLABEL, 0, 0, 449, 21},    // the labels stack from the panel's top
    {IDC_LABEL1, 0, 21, 449, 19},
    {IDC_BLACKLABEL, 0, 40, 449, 45},
    {IDC_BUTTON2, 294, 93, 75, 25},
    {IDC_BUTTON1, 389, 93, 57, 25},
};

HGDIOBJ MakeFont(const char* face, int weight, BYTE charset) {
  return CreateFontA(-11, 0, 0, 0, weight, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

}  // namespace

TfrMsgDialog::TfrMsgDialog()
    : headlineFont_(MakeFont("Microsoft Sans Serif", FW_NORMAL, RUSSIAN_CHARSET)),
      boldFont_(MakeFont("MS Sans Serif", FW_BOLD, DEFAULT_CHARSET)) {}

void TfrMsgDialog::Setup(const std::string& caption, const std::string& headline,
                         const std::string& message, bool showSilence) {
  caption_ = caption;
  headline_ = headline;
  message_ = message;
  showSilence_ = showSilence;
}

int TfrMsgDialog::ShowModal(HWND owner) {
  const INT_PTR result = Dialog::ShowModal(owner, IDD_MSGDIALOG);
  return result == kSilence || result == kOk ? static_cast<int>(result) : kClosed;
}

bool TfrMsgDialog::OnInitDialog() {
  SetWindowTextA(hwnd(), caption_.c_str());
  SetDlgItemTextA(hwnd(), IDC_REDLABEL, headline_.c_str());
  SetDlgItemTextA(hwnd(), IDC_BLACKLABEL, message_.c_str());
  SendDlgItemMessageA(hwnd(), IDC_REDLABEL, WM_SETFONT,
                      reinterpret_cast<WPARAM>(headlineFont_.get()), FALSE);
  SendDlgItemMessageA(hwnd(), IDC_LABEL1, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()),
                      FALSE);
  PlaceInPixels();
  HWND silence = GetDlgItem(hwnd(), IDC_BUTTON2);
  ShowWindow(silence, showSilence_ ? SW_SHOW : SW_HIDE);
  // Through the dialog manager rather than SetFocus, so that Enter presses the focused button.
  SendMessageA(hwnd(), WM_NEXTDLGCTL,
               reinterpret_cast<WPARAM>(showSilence_ ? silence : GetDlgItem(hwnd(), IDC_BUTTON1)),
               TRUE);
  return false;  // the focus is set
}

void TfrMsgDialog::PlaceInPixels() {
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(hwnd(), GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(hwnd(), GWL_EXSTYLE));
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  SetWindowPos(hwnd(), HWND_TOPMOST, kWindowLeft, kWindowTop, frame.right - frame.left,
               frame.bottom - frame.top, SWP_NOACTIVATE);
  for (const Placement& p : kPlacements)
    MoveWindow(GetDlgItem(hwnd(), p.id), kPanelLeft + p.left, kPanelTop + p.top, p.width,
               p.height, FALSE);
}

void TfrMsgDialog::OnCommand(int id, int, HWND) {
  // Only the two buttons end the dialog: Enter and Escape elsewhere (IDOK, IDCANCEL) do not,
  // since neither button is the default or the cancel button.
  switch (id) {
    case IDC_BUTTON2:
      Button2Click();
      break;
    case IDC_BUTTON1:
      Button1Click();
      break;
  }
}

HBRUSH TfrMsgDialog::OnCtlColorStatic(HDC dc, HWND control) {
  const bool headline = GetDlgCtrlID(control) == IDC_REDLABEL;
  SetTextColor(dc, headline ? kHeadlineColour : GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return GetSysColorBrush(COLOR_BTNFACE);
}

void TfrMsgDialog::OnClose() {
  // Handled here: the dialog manager would turn the close box into IDCANCEL, which is ignored.
  End(kClosed);
}

void TfrMsgDialog::Button1Click() { End(kOk); }

void TfrMsgDialog::Button2Click() { End(kSilence); }

}  // namespace qm
