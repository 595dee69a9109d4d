#include "frontend/pickerform.h"


namespace qm {
namespace {

HGDIOBJ MakeFont(int height, const char* face) {
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face);
}

// A fixed dialog border: no sizing, minimising or maximising.
constexpr DWORD kFormStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;

}  // namespace

std::string FolderPart(const std::string& path) {
  const size_t last = path.find_last_of("\\:");
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

PickerForm::PickerForm(const Design& design)
    : design_(design),
      template_(kFormStyle, 0, design.caption),
      formFont_(MakeFont(-11, "MS Sans Serif")),
      captionFont_(MakeFont(-12, "Arial")) {}

INT_PTR PickerForm::ShowModal(HWND owner) {
  prepareFailure_ = nullptr;
  const INT_PTR result = Dialog::ShowModal(owner, template_.get());
  if (prepareFailure_) std::rethrow_exception(prepareFailure_);
  return result == kPickOk ? kPickOk : kPickCancel;
}

void PickerForm::Place() {
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(hwnd(), GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(hwnd(), GWL_EXSTYLE));
  RECT frame{0, 0, design_.clientWidth, design_.clientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  SetWindowPos(hwnd(), nullptr, design_.left, design_.top, frame.right - frame.left,
               frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool PickerForm::OnInitDialog() {
  Place();
  SendMessageA(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);
  CreateLeadingControls();
  const RECT& p = design_.path;
  ePath = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, p.left, p.top,
                          p.right - p.left, p.bottom - p.top, hwnd(),
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(idPickPath)),
                          GetModuleHandleA(nullptr), nullptr);
  SendMessageA(ePath, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);
  HFONT captions = static_cast<HFONT>(captionFont_.get());
  btCancel.Create(hwnd(), idPickCancel, design_.cancel, SpeedGlyph::Cancel, "Cancel", captions);
  btSelect.Create(hwnd(), idPickSelect, design_.select, SpeedGlyph::Select, "Select", captions);
  CreateTrailingControls();
  if (Prepare) {
    try {
      Prepare();
    } catch (...) {
      prepareFailure_ = std::current_exception();
      End(kPickCancel);
    }
  }
  return true;  // the first control in the tab order takes the focus
}

INT_PTR PickerForm::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    // The result outlives the dialog's windows.
    closedPath_ = PathText();
    ePath = nullptr;
  }
  return Dialog::OnMessage(msg, wp, lp);
}

std::string PickerForm::PathText() const {
  if (!ePath) return closedPath_;
  std::string text(static_cast<size_t>(GetWindowTextLengthA(ePath)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(ePath, text.data(), static_cast<int>(text.size()))));
  return text;
}

void PickerForm::SetPathText(const std::string& text) {
  if (ePath && PathText() != text) SetWindowTextA(ePath, text.c_str());
}

void PickerForm::OnCommand(int id, int notifyCode, HWND control) {
  switch (id) {
    case idPickSelect:
      btSelectClick();
      break;
    case idPickCancel:
      btCancelClick();
      break;
  }
}

}  // namespace qm
