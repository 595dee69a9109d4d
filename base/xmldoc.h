// Read access to an XML document through MSXML (COM). The document is parsed from the file's
// bytes, so MSXML decodes it by the encoding its declaration names; texts come back as
// single-byte text of the system code page.
#pragma once

#include "base/handles.h"

#include <stdexcept>
#include <string>

struct IXMLDOMNode;
struct IXMLDOMDocument;

namespace qm {

class XmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class XmlNode {
 public:
  XmlNode() = default;
  explicit XmlNode(ComPtr<IXMLDOMNode> node) : node_(std::move(node)) {}

  bool IsNull() const { return !node_; }
  bool IsElement() const;
  std::string Name() const;
  // First child element with this name; a null node when there is none.
  XmlNode ChildByName(const std::string& name) const;
  // All children (elements, comments, texts; whitespace-only text is not kept by the parser).
  int ChildCount() const;
  XmlNode Child(int index) const;
  // The element's text: exactly one text or CDATA child, else XmlError (also for a null node).
  std::string Text() const;

 private:
  ComPtr<IXMLDOMNode> node_;
};

class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Parses the bytes of a file; false when MSXML is missing or the text is not well-formed.
  bool Parse(const std::string& bytes);
  XmlNode DocumentElement() const;
  void Close();

 private:
  ComPtr<IXMLDOMDocument> doc_;
};

}  // namespace qm
