// Dialog templates built in memory, for dialogs that create and place their controls
// themselves in pixels and so need no resource.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qm {

class DialogTemplate {
 public:
  // A template without controls, with no size (the dialog sizes itself when it opens).
  DialogTemplate(DWORD style, DWORD exStyle, const std::string& caption);
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  std::vector<WORD> words_;  // a template is a run of WORDs, DWORD-aligned at its start
};

}  // namespace qm
