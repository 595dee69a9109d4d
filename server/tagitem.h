// One tagged file or folder as the server holds it.
#pragma once

#include "base/datetime.h"

#include <cstdint>
#include <string>

namespace qm {

class XmlNode;

struct TTagItem {
  std::string Caption;    // name without folder part
  uint32_t Size = 0;      // kilobytes; for a folder the sum over every file below it
  std::string Path;       // folder holding the entry, ending in "\"
  std::string TargetSub;  // drive letter + Path from its third character: "C:\Docs\" -> "C\Docs\"
  DateTime LastSync = 0;  // NeverSyncDate when never copied
  uint8_t FType = 0;      // 0 file, 1 hidden file, 2 folder, 3 hidden folder

  bool IsFolder() const { return FType >= 2; }
  std::string Source() const { return Path + Caption; }
  // Key under which tags share last-sync times: the folder of a file, the folder itself.
  std::string TagKey() const { return IsFolder() ? Path + Caption + "\\" : Path; }

  // Builds an item from one child of tagslist; throws on a missing or bad required element.
  // A negative size, which has no meaning, is held as 0 so that the next save writes a value
  // the next load reads again.
  static TTagItem FromNode(const XmlNode& node);
};

std::string MakeTargetSub(const std::string& path);

// The item's one-line element text, without line end. Sizes above 2147483647 are written as
// 2147483647, the most the file format holds.
std::string TagItemXml(const TTagItem& item);

// The text of parent's first child element of that name; throws XmlError when it is missing,
// empty or holds anything but one text.
std::string RequiredText(const XmlNode& parent, const std::string& name);

}  // namespace qm
