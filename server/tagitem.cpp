#include "server/tagitem.h"

#include "base/xmldoc.h"
#include "tools/confvalues.h"
#include "tools/tools.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace qm {
namespace {

DateTime LastSyncOf(const XmlNode& node) {
  try {
    DateTime t = 0;
    if (TryTextToDateTime(RequiredText(node, "lastsync"), t)) return t;
  } catch (const std::exception&) {
  }
  return NeverSyncDate;
}

}  // namespace

std::string RequiredText(const XmlNode& parent, const std::string& name) {
  std::string text = parent.ChildByName(name).Text();
  if (text.empty()) throw XmlError("element " + name + " is empty");
  return text;
}

std::string MakeTargetSub(const std::string& path) {
  if (path.empty()) return {};
  if (path.size() <= 2) return path.substr(0, 1);
  return path.substr(0, 1) + path.substr(2);
}

TTagItem TTagItem::FromNode(const XmlNode& node) {
  TTagItem item;
  item.Caption = RequiredText(node, "caption");
  const int32_t size = ParseInt32(RequiredText(node, "size"));
  item.Size = size < 0 ? 0u : static_cast<uint32_t>(size);
  item.Path = RequiredText(node, "path");
  item.TargetSub = MakeTargetSub(item.Path);
  item.LastSync = LastSyncOf(node);
  item.FType = static_cast<uint8_t>(static_cast<uint32_t>(ParseInt32(RequiredText(node, "ftype"))) & 0xFFu);
  return item;
}

std::string TagItemXml(const TTagItem& item) {
  const uint32_t size = std::min<uint32_t>(item.Size, std::numeric_limits<int32_t>::max());
  return "  <item> " + XmlElementLine("caption", item.Caption) +
         XmlElementLine("size", std::to_string(size)) + XmlElementLine("path", item.Path) +
         XmlElementLine("lastsync", DateTimeToText(item.LastSync)) +
         XmlElementLine("ftype", std::to_string(item.FType)) + " </item> ";
}

}  // namespace qm
