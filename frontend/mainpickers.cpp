// The main window's browse buttons: each opens its picker on the edit beside it.
#include "frontend/mainform.h"
#include "frontend/selectfile.h"
#include "frontend/selectpath.h"

namespace qm {
namespace {

PathField FieldOf(HWND edit) {
  return PathField{[edit] { return TfrMain::TextOf(edit); },
                   [edit](const std::string& text) { TfrMain::SetTextOf(edit, text); }};
}

}  // namespace

void TfrMain::btTagBrowseClick() { BrowseForTag(hwnd(), FieldOf(eTag)); }

void TfrMain::btTargetBrowseClick() { BrowseForTarget(hwnd(), FieldOf(eTarget)); }

}  // namespace qm
