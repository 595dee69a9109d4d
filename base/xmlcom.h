// MSXML plumbing shared by the reading and the writing half of the XML document; nothing
// outside base/xmldoc.cpp and base/xmlwrite.cpp includes it.
#pragma once

#include "base/xmldoc.h"

#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>

#include <cwchar>
#include <string>
#include <vector>

namespace qm::xmlcom {

// BSTRs are freed on scope exit; kept here since nothing else in the programs uses them.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::wstring& s) : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }
  BSTR* put() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  std::wstring Wide() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }
  bool Equals(const std::wstring& s) const {
    return b_ && SysStringLen(b_) == s.size() && std::wmemcmp(b_, s.data(), s.size()) == 0;
  }

 private:
  BSTR b_ = nullptr;
};

inline DOMNodeType NodeType(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  if (node && FAILED(node->get_nodeType(&type))) type = NODE_INVALID;
  return type;
}

inline ComPtr<IXMLDOMNodeList> ChildList(IXMLDOMNode* node) {
  ComPtr<IXMLDOMNodeList> list;
  if (node && FAILED(node->get_childNodes(list.put()))) list.reset();
  return list;
}

inline long ListLength(IXMLDOMNodeList* list) {
  long n = 0;
  if (!list || FAILED(list->get_length(&n))) return 0;
  return n;
}

inline ComPtr<IXMLDOMNode> ListItem(IXMLDOMNodeList* list, long index) {
  ComPtr<IXMLDOMNode> item;
  if (list && list->get_item(index, item.put()) != S_OK) item.reset();
  return item;
}

// The children in document order, by sibling links: under Wine every item of a node list taken
// by index walks from the first child again, and its length walks them all.
inline std::vector<ComPtr<IXMLDOMNode>> Children(IXMLDOMNode* node) {
  std::vector<ComPtr<IXMLDOMNode>> children;
  ComPtr<IXMLDOMNode> child;
  if (!node || node->get_firstChild(child.put()) != S_OK) return children;
  while (child) {
    ComPtr<IXMLDOMNode> next;
    if (child->get_nextSibling(next.put()) != S_OK) next.reset();
    children.push_back(std::move(child));
    child = std::move(next);
  }
  return children;
}

inline std::wstring NodeName(IXMLDOMNode* node) {
  Bstr name;
  if (!node || FAILED(node->get_nodeName(name.put()))) return {};
  return name.Wide();
}

// The value of a text, CDATA, comment, processing instruction or attribute node.
inline bool NodeValue(IXMLDOMNode* node, std::wstring& value) {
  VARIANT v;
  VariantInit(&v);
  const bool ok = node && SUCCEEDED(node->get_nodeValue(&v)) && v.vt == VT_BSTR;
  if (ok) value = v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring();
  VariantClear(&v);
  return ok;
}

// The encoding a document's declaration names, taken from its bytes ("" without one).
std::string DeclaredEncodingName(const std::string& bytes);

}  // namespace qm::xmlcom
