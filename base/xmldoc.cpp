#include "base/xmldoc.h"

namespace qm {
// stub
bool XmlNode::IsElement() const { return false; }
std::string XmlNode::Name() const { return {}; }
XmlNode XmlNode::ChildByName(const std::string&) const { return {}; }
int XmlNode::ChildCount() const { return 0; }
XmlNode XmlNode::Child(int) const { return {}; }
std::string XmlNode::Text() const { throw XmlError("stub"); }
XmlDocument::XmlDocument() = default;
XmlDocument::~XmlDocument() = default;
bool XmlDocument::Parse(const std::string&) { return false; }
XmlNode XmlDocument::DocumentElement() const { return {}; }
void XmlDocument::Close() {}
}  // namespace qm
