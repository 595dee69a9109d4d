// Read access to an XML document through MSXML (COM). The document is parsed from the file's
// bytes, so MSXML decodes it by the encoding its declaration names; texts come back as
// single-byte text of the system code page (characters that code page lacks become "?").
//
// Threads: a document and its nodes are used on the thread that made them, inside one scope
// (the document holds COM for that thread while it lives).
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
  XmlNode Child(int index) const;  // a null node outside 0..ChildCount()-1
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
  XmlNode DocumentElement() const;  // a null node before a successful Parse
  void Close();

 private:
  ComApartment com_;  // declared first: outlives doc_
  ComPtr<IXMLDOMDocument> doc_;
};

// Text of the system code page (CP_ACP) and UTF-16, both ways; unmappable characters become
// the code page's default character.
std::string WideToSystemText(const wchar_t* text, int length);
std::wstring SystemTextToWide(const std::string& text);

}  // namespace qm
