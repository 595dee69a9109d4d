// Opens one picker as the main window's browse button would, for screenshots:
//   picker_helper file [START]   "Select File or Folder" on an eTag holding START
//   picker_helper path [START]   "Select Path" on an eTarget holding START
// Prints the edit's text when the picker has closed.
#include "base/handles.h"
#include "frontend/selectfile.h"
#include "frontend/selectpath.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  qm::ComApartment com;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  std::string text = argc > 2 ? argv[2] : "";
  const qm::PathField field{[&] { return text; },
                            [&](const std::string& value) { text = value; }};
  const std::string which = argv[1];
  if (which == "file")
    qm::BrowseForTag(nullptr, field);
  else if (which == "path")
    qm::BrowseForTarget(nullptr, field);
  else
    return 2;
  std::printf("%s\n", text.c_str());
  return 0;
}
