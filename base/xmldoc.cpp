#include "base/xmldoc.h"

#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>

#include <cstring>

namespace qm {
namespace {

// MinGW's msxml2.h stops before MSXML 6, and its uuid library lacks IXMLDOMDocument2; both ids
// are fixed by Microsoft.
constexpr CLSID kClsidDomDocument60 = {
    0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr IID kIidXmlDomDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

// BSTRs are freed on scope exit; kept local since nothing else in the programs uses them.
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
  std::string ToSystemText() const { return b_ ? WideToSystemText(b_, SysStringLen(b_)) : std::string(); }
  bool Equals(const std::wstring& s) const {
    return b_ && SysStringLen(b_) == s.size() && std::wmemcmp(b_, s.data(), s.size()) == 0;
  }

 private:
  BSTR b_ = nullptr;
};

DOMNodeType NodeType(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  if (node && FAILED(node->get_nodeType(&type))) type = NODE_INVALID;
  return type;
}

ComPtr<IXMLDOMNodeList> ChildList(IXMLDOMNode* node) {
  ComPtr<IXMLDOMNodeList> list;
  if (node && FAILED(node->get_childNodes(list.put()))) list.reset();
  return list;
}

long ListLength(IXMLDOMNodeList* list) {
  long n = 0;
  if (!list || FAILED(list->get_length(&n))) return 0;
  return n;
}

ComPtr<IXMLDOMNode> ListItem(IXMLDOMNodeList* list, long index) {
  ComPtr<IXMLDOMNode> item;
  if (list && list->get_item(index, item.put()) != S_OK) item.reset();
  return item;
}

// Setting a property is best effort: Wine's MSXML knows fewer of them than Windows'.
void SetBoolProperty(IXMLDOMDocument* doc, const wchar_t* name, bool value) {
  ComPtr<IXMLDOMDocument2> doc2;
  if (FAILED(doc->QueryInterface(kIidXmlDomDocument2, doc2.put_void()))) return;
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  Bstr prop(name);
  doc2->setProperty(prop.get(), v);
}

// A VARIANT that owns a SAFEARRAY of the bytes: load() on it parses the bytes themselves and so
// honours the declared encoding, where loadXML() would take already decoded UTF-16.
class ByteArrayVariant {
 public:
  explicit ByteArrayVariant(const std::string& bytes) {
    VariantInit(&v_);
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) return;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
      SafeArrayDestroy(array);
      return;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array);
    v_.vt = VT_ARRAY | VT_UI1;
    v_.parray = array;
  }
  ~ByteArrayVariant() { VariantClear(&v_); }
  ByteArrayVariant(const ByteArrayVariant&) = delete;
  ByteArrayVariant& operator=(const ByteArrayVariant&) = delete;
  bool ok() const { return v_.vt != VT_EMPTY; }
  const VARIANT& get() const { return v_; }

 private:
  VARIANT v_;
};

}  // namespace

std::string WideToSystemText(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring SystemTextToWide(const std::string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, out.data(), n);
  return out;
}

bool XmlNode::IsElement() const { return NodeType(node_.get()) == NODE_ELEMENT; }

std::string XmlNode::Name() const {
  Bstr name;
  if (!node_ || FAILED(node_->get_nodeName(name.put()))) return {};
  return name.ToSystemText();
}

XmlNode XmlNode::ChildByName(const std::string& name) const {
  const std::wstring wanted = SystemTextToWide(name);
  ComPtr<IXMLDOMNodeList> list = ChildList(node_.get());
  const long n = ListLength(list.get());
  for (long i = 0; i < n; ++i) {
    ComPtr<IXMLDOMNode> child = ListItem(list.get(), i);
    if (NodeType(child.get()) != NODE_ELEMENT) continue;
    Bstr childName;
    if (SUCCEEDED(child->get_nodeName(childName.put())) && childName.Equals(wanted))
      return XmlNode(std::move(child));
  }
  return {};
}

int XmlNode::ChildCount() const { return static_cast<int>(ListLength(ChildList(node_.get()).get())); }

XmlNode XmlNode::Child(int index) const {
  if (index < 0) return {};
  ComPtr<IXMLDOMNodeList> list = ChildList(node_.get());
  return XmlNode(ListItem(list.get(), index));
}

std::string XmlNode::Text() const {
  if (NodeType(node_.get()) != NODE_ELEMENT) throw XmlError("not an element");
  ComPtr<IXMLDOMNodeList> list = ChildList(node_.get());
  if (ListLength(list.get()) != 1) throw XmlError("element does not hold a single text");
  ComPtr<IXMLDOMNode> child = ListItem(list.get(), 0);
  const DOMNodeType type = NodeType(child.get());
  if (type != NODE_TEXT && type != NODE_CDATA_SECTION) throw XmlError("element does not hold a text");
  VARIANT value;
  VariantInit(&value);
  if (FAILED(child->get_nodeValue(&value)) || value.vt != VT_BSTR) {
    VariantClear(&value);
    throw XmlError("text cannot be read");
  }
  std::string text = value.bstrVal ? WideToSystemText(value.bstrVal, SysStringLen(value.bstrVal)) : "";
  VariantClear(&value);
  return text;
}

XmlDocument::XmlDocument() = default;
XmlDocument::~XmlDocument() { Close(); }

bool XmlDocument::Parse(const std::string& bytes) {
  Close();
  if (!com_.ok() || bytes.empty()) return false;
  ComPtr<IXMLDOMDocument> doc;
  if (FAILED(CoCreateInstance(kClsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                              doc.put_void())))
    return false;
  doc->put_async(VARIANT_FALSE);
  doc->put_validateOnParse(VARIANT_FALSE);
  doc->put_resolveExternals(VARIANT_FALSE);
  doc->put_preserveWhiteSpace(VARIANT_FALSE);
  // conf.xml never has a document type; refusing one keeps entity expansion out of the reader.
  SetBoolProperty(doc.get(), L"ProhibitDTD", true);
  ByteArrayVariant source(bytes);
  if (!source.ok()) return false;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (doc->load(source.get(), &loaded) != S_OK || loaded != VARIANT_TRUE) return false;
  // Windows' MSXML 6 refuses a document type by the property above; Wine's parses it. Refusing
  // it here gives the same answer on both.
  ComPtr<IXMLDOMDocumentType> doctype;
  if (doc->get_doctype(doctype.put()) == S_OK && doctype) return false;
  doc_ = std::move(doc);
  return true;
}

XmlNode XmlDocument::DocumentElement() const {
  if (!doc_) return {};
  ComPtr<IXMLDOMElement> root;
  if (doc_->get_documentElement(root.put()) != S_OK || !root) return {};
  ComPtr<IXMLDOMNode> node;
  if (FAILED(root->QueryInterface(IID_IXMLDOMNode, node.put_void()))) return {};
  return XmlNode(std::move(node));
}

void XmlDocument::Close() { doc_.reset(); }

}  // namespace qm
