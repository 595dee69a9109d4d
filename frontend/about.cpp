#include "frontend/about.h"

#include "frontend/images.h"

#include <algorithm>
#include <cwchar>

namespace qm {
namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr int kLabelGap = 4;  // pixels between the title and the version

// A dialog template without controls: the labels are placed in pixels when the box opens, as
// dialog units would move them with the face that stands in for "MS Sans Serif".
std::vector<WORD> EmptyTemplate(const wchar_t* caption) {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  auto* head = reinterpret_cast<DLGTEMPLATE*>(words.data());
  head->style = kStyle;
  head->cdit = 0;
  head->cx = 200;
  head->cy = 120;
  words.push_back(0);  // no menu
  words.push_back(0);  // the standard dialog class
  for (const wchar_t* c = caption; *c; ++c) words.push_back(static_cast<WORD>(*c));
  words.push_back(0);
  return words;
}

}  // namespace

const char* const TAboutBox::kCaption = "About Quillmere";
const char* const TAboutBox::kNotice =
    "                  This program is protected by copyright law and international "
    "treaties. Copying or distributing it, or any part of it, without authorisation may "
    "lead to civil and criminal penalties.";

TAboutBox::TAboutBox()
    : titleFont_(MakeFont("Arial", 13, FW_BOLD)),
      versionFont_(MakeFont("Arial", 13, FW_NORMAL)),
      warningFont_(MakeFont("MS Sans Serif", 11, FW_BOLD)),
      noticeFont_(MakeFont("MS Sans Serif", 11, FW_NORMAL)),
      template_(EmptyTemplate(L"About Quillmere")) {}

void TAboutBox::ShowModal(HWND owner) {
  Dialog::ShowModal(owner, reinterpret_cast<const DLGTEMPLATE*>(template_.data()));
}

HWND TAboutBox::AddLabel(const std::string& text, int left, int top, int width, int height,
                         HGDIOBJ font, DWORD style) {
  HWND label = CreateWindowExA(0, "STATIC", text.c_str(),
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SS_NOPREFIX | style,
                               left, top, width, height, hwnd(), nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (width == 0) {
    // Sized to its text, as a label that sizes itself.
    const SIZE extent = TextExtent(label, font, text);
    SetWindowPos(label, nullptr, 0, 0, extent.cx, extent.cy, SWP_NOMOVE | SWP_NOZORDER);
  }
  return label;
}

// The title is sized by its text, and a face that stands in for Arial (Wine's) can be wide
// enough to reach the version beside it: the version then moves right, as far as the box
// allows, and only a title that still reaches it is cut short.
void TAboutBox::KeepApart(HWND title, HWND version) {
  RECT t{}, v{};
  GetWindowRect(title, &t);
  GetWindowRect(version, &v);
  MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&t), 2);
  MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&v), 2);
  if (t.right + kLabelGap <= v.left) return;
  const int versionWidth = v.right - v.left;
  const int left = std::min<int>(t.right + kLabelGap, kClientWidth - versionWidth);
  SetWindowPos(version, nullptr, left, v.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  if (t.right + kLabelGap > left)
    SetWindowPos(title, nullptr, 0, 0, left - kLabelGap - t.left, t.bottom - t.top,
                 SWP_NOMOVE | SWP_NOZORDER);
}

bool TAboutBox::OnInitDialog() {
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  SetWindowPos(hwnd(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  HWND title = AddLabel("Harvo Quillmere", 46, 17, 0, 0, titleFont_.get(), SS_LEFT);
  HWND version = AddLabel("Version 1.0.1.48", 157, 16, 0, 0, versionFont_.get(), SS_LEFT);
  KeepApart(title, version);
  // First, so that it stays above the notice whose leading blanks it covers.
  AddLabel("Warning:", 8, 136, 0, 0, warningFont_.get(), SS_LEFT);
  AddLabel(kNotice, 8, 136, 321, 73, noticeFont_.get(), SS_LEFT);
  return true;
}

}  // namespace qm
