#include "base/shellcontrols.h"

#include <algorithm>
#include <stdexcept>

namespace qm {
namespace {

constexpr UINT_PTR kKeySubclass = 1;
// The shell gives column widths in characters; these turn them into pixels for the small
// dialog font with room for the digits and dates that fill the columns. Names get more room.
constexpr int kPixelsPerChar = 9;
constexpr int kNameColumnWidth = 200;

}  // namespace

ShellListView::~ShellListView() {
  if (hwnd()) RemoveWindowSubclass(hwnd(), &ShellListView::KeyProc, kKeySubclass);
}

bool ShellListView::Create(HWND parent, int id, const RECT& place, HFONT font,
                           ShellNavigation& navigation) {
  const DWORD style = WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                      LVS_EDITLABELS | LVS_SHAREIMAGELISTS;
  if (!CreateChild(parent, id, place, WC_LISTVIEWA, style, WS_EX_CLIENTEDGE, font, navigation))
    return false;
  ListView_SetImageList(hwnd(), SystemSmallImages(), LVSIL_SMALL);
  // The list gives no notification of a released key; its parent hears of it through this.
  SetWindowSubclass(hwnd(), &ShellListView::KeyProc, kKeySubclass,
                    reinterpret_cast<DWORD_PTR>(this));
  Refill();
  return true;
}

LRESULT CALLBACK ShellListView::KeyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                        DWORD_PTR self) {
  if (msg == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &ShellListView::KeyProc, kKeySubclass);
  const LRESULT result = DefSubclassProc(hwnd, msg, wp, lp);
  if (msg == WM_KEYUP) {
    auto* list = reinterpret_cast<ShellListView*>(self);
    try {
      if (list->OnKeyUp) list->OnKeyUp();
    } catch (...) {
      // No failure leaves a window procedure.
    }
  }
  return result;
}

const ShellEntry& ShellListView::Item(int index) const {
  if (index < 0 || index >= ItemCount()) throw std::out_of_range("no item at this index");
  return entries_[index];
}

int ShellListView::ItemIndex() const {
  return ListView_GetNextItem(hwnd(), -1, LVNI_SELECTED);
}

void ShellListView::Back() { Navigation().Up(); }

void ShellListView::SetColumns() {
  while (ListView_DeleteColumn(hwnd(), 0)) {
  }
  columns_ = 0;
  for (int column = 0; details_; ++column) {
    SHELLDETAILS detail{};
    if (FAILED(details_->GetDetailsOf(nullptr, column, &detail))) break;
    const std::string title = StrRetText(detail.str, nullptr);
    LVCOLUMNA header{};
    header.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    header.fmt = detail.fmt == LVCFMT_RIGHT ? LVCFMT_RIGHT : LVCFMT_LEFT;
    header.cx = column == 0 ? kNameColumnWidth : std::max(detail.cxChar, 5) * kPixelsPerChar;
    header.pszText = const_cast<char*>(title.c_str());
    header.iSubItem = column;
    ListView_InsertColumn(hwnd(), column, &header);
    ++columns_;
  }
  if (columns_ == 0) {  // a folder without details still shows its names
    LVCOLUMNA header{};
    header.mask = LVCF_TEXT | LVCF_WIDTH;
    header.cx = kNameColumnWidth;
    header.pszText = const_cast<char*>("Name");
    ListView_InsertColumn(hwnd(), 0, &header);
    columns_ = 1;
  }
}

void ShellListView::Refill() {
  ListView_DeleteAllItems(hwnd());
  entries_.clear();
  rows_.clear();
  folder_.reset();
  details_.reset();
  const ShellPlace& place = Navigation().Folder();
  try {
    folder_ = BindFolder(place);
    folder_->QueryInterface(IID_IShellFolder2, details_.put_void());
    entries_ = FolderEntries(place, false);
  } catch (const ShellError&) {
    // A folder that cannot be opened shows empty.
  }
  SetColumns();
  rows_.resize(entries_.size());
  SendMessageA(hwnd(), WM_SETREDRAW, FALSE, 0);
  for (int index = 0; index < ItemCount(); ++index) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = index;
    item.pszText = LPSTR_TEXTCALLBACKA;
    item.iImage = I_IMAGECALLBACK;
    item.lParam = index;
    ListView_InsertItem(hwnd(), &item);
  }
  SendMessageA(hwnd(), WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd(), nullptr, TRUE);
}

const std::string* ShellListView::DetailText(int index, int column) {
  if (index < 0 || index >= ItemCount() || column < 0 || column >= columns_) return nullptr;
  Row& row = rows_[index];
  if (row.details.empty()) {
    row.details.resize(columns_);
    row.details[0] = entries_[index].name;
    for (int c = 1; details_ && c < columns_; ++c) {
      SHELLDETAILS detail{};
      const ITEMIDLIST* relative = entries_[index].Relative();
      if (SUCCEEDED(details_->GetDetailsOf(relative, c, &detail)))
        row.details[c] = StrRetText(detail.str, relative);
    }
  }
  return &row.details[column];
}

int ShellListView::IconOf(int index) {
  if (index < 0 || index >= ItemCount()) return 0;
  Row& row = rows_[index];
  if (row.icon == -2) row.icon = entries_[index].place.IconIndex();
  return row.icon < 0 ? 0 : row.icon;
}

void ShellListView::GiveDisplayInfo(LVITEMA& item) {
  if (item.mask & LVIF_TEXT) {
    const std::string* text = DetailText(item.iItem, item.iSubItem);
    if (text && item.pszText && item.cchTextMax > 0) lstrcpynA(item.pszText, text->c_str(), item.cchTextMax);
  }
  if (item.mask & LVIF_IMAGE) item.iImage = IconOf(item.iItem);
}

void ShellListView::GiveDisplayInfo(LVITEMW& item) {
  if (item.mask & LVIF_TEXT) {
    const std::string* text = DetailText(item.iItem, item.iSubItem);
    wideScratch_ = text ? AnsiToUtf16(*text) : std::wstring();
    if (item.pszText && item.cchTextMax > 0) lstrcpynW(item.pszText, wideScratch_.c_str(), item.cchTextMax);
  }
  if (item.mask & LVIF_IMAGE) item.iImage = IconOf(item.iItem);
}

bool ShellListView::Rename(int index, const std::string& name) {
  if (index < 0 || index >= ItemCount() || name.empty()) return false;
  ShellEntry& entry = entries_[index];
  if (!entry.parent) return false;
  ITEMIDLIST* renamed = nullptr;
  const std::wstring wide = AnsiToUtf16(name);
  if (FAILED(entry.parent->SetNameOf(hwnd(), entry.Relative(), wide.c_str(), SHGDN_INFOLDER,
                                     &renamed)))
    return false;
  UniquePidl owned(renamed);
  if (owned) {
    entry.place = Navigation().Folder().Child(owned.get());
    entry.name = name;
    entry.parsingName = entry.place.ParsingName();
    STRRET value{};
    if (SUCCEEDED(entry.parent->GetDisplayNameOf(owned.get(), SHGDN_INFOLDER, &value)))
      entry.name = StrRetText(value, owned.get());
  }
  rows_[index] = Row{};
  ListView_RedrawItems(hwnd(), index, index);
  return true;
}

bool ShellListView::HandleNotify(NMHDR& header, LRESULT& result) {
  if (!Mine(header)) return false;
  result = 0;
  switch (header.code) {
    case LVN_GETDISPINFOA:
      GiveDisplayInfo(reinterpret_cast<NMLVDISPINFOA&>(header).item);
      return true;
    case LVN_GETDISPINFOW:
      GiveDisplayInfo(reinterpret_cast<NMLVDISPINFOW&>(header).item);
      return true;
    case LVN_BEGINLABELEDITA:
    case LVN_BEGINLABELEDITW:
      result = FALSE;  // allowed
      return true;
    case LVN_ENDLABELEDITA: {
      const LVITEMA& item = reinterpret_cast<NMLVDISPINFOA&>(header).item;
      result = item.pszText && Rename(item.iItem, item.pszText);
      return true;
    }
    case LVN_ENDLABELEDITW: {
      const LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
      result = item.pszText && Rename(item.iItem, Utf16ToAnsi(item.pszText));
      return true;
    }
    case NM_CLICK:
      if (OnClick) OnClick();
      return true;
    case NM_DBLCLK:
      if (OnDblClick) OnDblClick();
      return true;
  }
  return false;
}

}  // namespace qm
