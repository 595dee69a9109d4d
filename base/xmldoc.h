// An XML document through MSXML (COM). The document is parsed from the file's bytes, so MSXML
// decodes it by the encoding its declaration names; texts come back as single-byte text of the
// system code page (characters that code page lacks become "?", never look-alikes). The tree
// can be edited and written back by the document's own serialiser (MSXML's save is not used:
// Wine's writes UTF-8 under whatever encoding the declaration names).
//
// Threads: a document and its nodes are used on the thread that made them, inside one scope
// (the document holds COM for that thread while it lives).
#pragma once

#include "base/codepage.h"
#include "base/handles.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

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
  // All children in order, in one walk: for visiting many, where Child(i) walks to i each time.
  std::vector<XmlNode> Children() const;
  // The element's text: exactly one text or CDATA child, else XmlError (also for a null node).
  std::string Text() const;

  // Editing. A node is a handle: these change the tree, not the handle, and throw XmlError on a
  // null node or one that is not an element.
  //
  // First child element with this name; when there is none, an empty one is appended as the
  // last child and returned.
  XmlNode ChildByNameOrAppend(const std::string& name) const;
  // Appends a new empty element; names are plain ASCII XML names.
  XmlNode AppendChildElement(const std::string& name) const;
  // Replaces all children with one text (system code page text); "" leaves the element empty.
  // A text with characters XML 1.0 cannot carry is refused and the element left as it was.
  void SetText(const std::string& systemText) const;
  // Returns the removed child, which InsertChild can put back.
  XmlNode RemoveChild(int index) const;  // XmlError outside 0..ChildCount()-1
  // Puts child before the child at index, or last when index is ChildCount().
  void InsertChild(int index, const XmlNode& child) const;
  void RemoveAllChildren() const;

 private:
  friend class XmlChildElements;
  IXMLDOMNode* Element() const;

  ComPtr<IXMLDOMNode> node_;
};

// The child elements of one element, read in one walk, for reading several of its values by
// name. Each lookup gives what ChildByNameOrAppend on the element would give, provided the
// element changes meanwhile only through these lookups.
class XmlChildElements {
 public:
  explicit XmlChildElements(const XmlNode& parent);  // XmlError when parent is not an element
  XmlNode ByNameOrAppend(const std::string& name);

 private:
  XmlNode parent_;
  std::vector<std::pair<std::wstring, XmlNode>> elements_;  // in document order
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
  bool Active() const { return static_cast<bool>(doc_); }
  void Close();

  // The whole document as file bytes, CR LF after every line: the declaration, then one element
  // per line, indented one blank per level; an element holding only a text stays on one line,
  // mixed content on its element's line. Written in the declared encoding when it is
  // Windows-125x, UTF-8 or ISO-8859-1, else (and without a declaration) in Windows-1251.
  // Characters the encoding lacks become character references, so every text reads back as it
  // is in the tree; in comments and processing instructions, where references do not exist,
  // they become "?". XmlError when no document is active, or when a name cannot be written in
  // the encoding.
  std::string Serialise() const;

 private:
  ComApartment com_;  // declared first: outlives doc_
  ComPtr<IXMLDOMDocument> doc_;
  std::string declaredEncoding_;  // as the declaration spells it; "" without one
};

// Appends a character's one byte in a single-byte code page; false when the code page has no
// byte that reads back as that very character (no best-fit look-alikes).
bool AppendCodePageByte(std::string& out, char32_t code, UINT codePage);

}  // namespace qm
