#include "base/xmldoc.h"

#include "base/xmlcom.h"

#include <cstring>

namespace qm {

using namespace xmlcom;

namespace {

// MinGW's msxml2.h stops before MSXML 6, and its uuid library lacks IXMLDOMDocument2; both ids
// are fixed by Microsoft.
constexpr CLSID kClsidDomDocument60 = {
    0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr IID kIidXmlDomDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

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

std::string ToSystemText(const std::wstring& wide) {
  return WideToSystemText(wide.data(), static_cast<int>(wide.size()));
}

// Names the programs give new elements: plain ASCII XML names, which every encoding the
// serialiser writes can carry unchanged.
bool IsPlainName(const std::string& name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool start = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
    const bool later = (c >= '0' && c <= '9') || c == '-' || c == '.';
    if (!start && !(i > 0 && later)) return false;
  }
  return true;
}

// XML 1.0 carries neither most control characters nor unpaired surrogates, not even as
// references: a text holding one would make the whole file unreadable.
bool IsXmlText(const std::wstring& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') return false;
    if (c == 0xFFFE || c == 0xFFFF || (c >= 0xDC00 && c < 0xE000)) return false;
    if (c >= 0xD800 && c < 0xDC00) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] >= 0xE000) return false;
      ++i;
    }
  }
  return true;
}

ComPtr<IXMLDOMDocument> OwnerDocument(IXMLDOMNode* node) {
  ComPtr<IXMLDOMDocument> doc;
  if (node->get_ownerDocument(doc.put()) != S_OK || !doc) throw XmlError("node has no document");
  return doc;
}

void Append(IXMLDOMNode* parent, IXMLDOMNode* child, ComPtr<IXMLDOMNode>& added) {
  if (parent->appendChild(child, added.put()) != S_OK || !added) throw XmlError("node cannot be appended");
}

}  // namespace

bool XmlNode::IsElement() const { return NodeType(node_.get()) == NODE_ELEMENT; }

std::string XmlNode::Name() const { return ToSystemText(NodeName(node_.get())); }

XmlNode XmlNode::ChildByName(const std::string& name) const {
  const std::wstring wanted = SystemTextToWide(name);
  for (ComPtr<IXMLDOMNode>& child : xmlcom::Children(node_.get())) {
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

std::vector<XmlNode> XmlNode::Children() const {
  std::vector<XmlNode> children;
  for (ComPtr<IXMLDOMNode>& child : xmlcom::Children(node_.get())) children.emplace_back(std::move(child));
  return children;
}

std::string XmlNode::Text() const {
  if (NodeType(node_.get()) != NODE_ELEMENT) throw XmlError("not an element");
  // One child, found by sibling links: a child list would be built and counted for each value.
  ComPtr<IXMLDOMNode> child, second;
  if (node_->get_firstChild(child.put()) != S_OK || !child ||
      (child->get_nextSibling(second.put()) == S_OK && second))
    throw XmlError("element does not hold a single text");
  const DOMNodeType type = NodeType(child.get());
  if (type != NODE_TEXT && type != NODE_CDATA_SECTION) throw XmlError("element does not hold a text");
  std::wstring text;
  if (!NodeValue(child.get(), text)) throw XmlError("text cannot be read");
  return ToSystemText(text);
}

IXMLDOMNode* XmlNode::Element() const {
  if (NodeType(node_.get()) != NODE_ELEMENT) throw XmlError("not an element");
  return node_.get();
}

XmlNode XmlNode::ChildByNameOrAppend(const std::string& name) const {
  Element();
  XmlNode found = ChildByName(name);
  return found.IsNull() ? AppendChildElement(name) : found;
}

XmlNode XmlNode::AppendChildElement(const std::string& name) const {
  IXMLDOMNode* parent = Element();
  if (!IsPlainName(name)) throw XmlError("not a plain element name: " + name);
  ComPtr<IXMLDOMElement> element;
  Bstr wideName(SystemTextToWide(name));
  if (OwnerDocument(parent)->createElement(wideName.get(), element.put()) != S_OK || !element)
    throw XmlError("element cannot be created");
  ComPtr<IXMLDOMNode> added;
  Append(parent, element.get(), added);
  return XmlNode(std::move(added));
}

void XmlNode::SetText(const std::string& systemText) const {
  IXMLDOMNode* element = Element();
  const std::wstring wide = SystemTextToWide(systemText);
  // Checked before anything is removed, so that a refused text leaves the element as it was.
  if (!IsXmlText(wide)) throw XmlError("text holds characters XML cannot carry");
  ComPtr<IXMLDOMDocument> doc = OwnerDocument(element);
  // A removed node stays with the document until the document goes: a value set once a second
  // for days would grow without end. One text is changed where it stands.
  if (!wide.empty()) {
    ComPtr<IXMLDOMNodeList> list = ChildList(element);
    ComPtr<IXMLDOMNode> only;
    if (ListLength(list.get()) == 1) only = ListItem(list.get(), 0);
    if (NodeType(only.get()) == NODE_TEXT) {
      std::wstring current;
      if (NodeValue(only.get(), current) && current == wide) return;
      VARIANT v;
      VariantInit(&v);
      v.vt = VT_BSTR;
      v.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
      const HRESULT hr = v.bstrVal ? only->put_nodeValue(v) : E_OUTOFMEMORY;
      VariantClear(&v);
      if (hr != S_OK) throw XmlError("text cannot be changed");
      return;
    }
  }
  RemoveAllChildren();
  if (wide.empty()) return;
  ComPtr<IXMLDOMText> text;
  Bstr data(wide);
  if (doc->createTextNode(data.get(), text.put()) != S_OK || !text) throw XmlError("text cannot be created");
  ComPtr<IXMLDOMNode> added;
  Append(element, text.get(), added);
}

XmlNode XmlNode::RemoveChild(int index) const {
  IXMLDOMNode* element = Element();
  ComPtr<IXMLDOMNode> child = index < 0 ? ComPtr<IXMLDOMNode>() : ListItem(ChildList(element).get(), index);
  if (!child) throw XmlError("no child at index " + std::to_string(index));
  ComPtr<IXMLDOMNode> removed;
  if (element->removeChild(child.get(), removed.put()) != S_OK) throw XmlError("child cannot be removed");
  return XmlNode(std::move(removed));
}

void XmlNode::InsertChild(int index, const XmlNode& child) const {
  IXMLDOMNode* element = Element();
  if (!child.node_ || index < 0) throw XmlError("no child to insert");
  ComPtr<IXMLDOMNode> before = ListItem(ChildList(element).get(), index);
  if (!before && index != ChildCount()) throw XmlError("no child at index " + std::to_string(index));
  VARIANT where;
  VariantInit(&where);
  if (before) {
    where.vt = VT_UNKNOWN;
    where.punkVal = before.get();  // borrowed: not cleared
  }
  ComPtr<IXMLDOMNode> added;
  if (element->insertBefore(child.node_.get(), where, added.put()) != S_OK)
    throw XmlError("child cannot be inserted");
}

void XmlNode::RemoveAllChildren() const {
  IXMLDOMNode* element = Element();
  ComPtr<IXMLDOMNode> child;
  while (element->get_firstChild(child.put()) == S_OK && child) {
    ComPtr<IXMLDOMNode> removed;
    if (element->removeChild(child.get(), removed.put()) != S_OK) throw XmlError("child cannot be removed");
  }
}

XmlChildElements::XmlChildElements(const XmlNode& parent) : parent_(parent) {
  if (!parent.IsElement()) throw XmlError("not an element");
  for (XmlNode& child : parent.Children()) {
    if (child.IsElement()) elements_.emplace_back(NodeName(child.node_.get()), std::move(child));
  }
}

XmlNode XmlChildElements::ByNameOrAppend(const std::string& name) {
  const std::wstring wanted = SystemTextToWide(name);
  for (const auto& [elementName, element] : elements_) {
    if (elementName == wanted) return element;
  }
  elements_.emplace_back(wanted, parent_.AppendChildElement(name));
  return elements_.back().second;
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
  declaredEncoding_ = DeclaredEncodingName(bytes);
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

void XmlDocument::Close() {
  doc_.reset();
  declaredEncoding_.clear();
}

}  // namespace qm
