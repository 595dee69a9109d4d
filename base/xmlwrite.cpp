// The document's serialiser. The tree holds UTF-16; every character goes out as the declared
// encoding's bytes where that encoding has it, else as a character reference, so that a name
// survives whatever the system code page is.
#include "base/xmldoc.h"

#include "base/xmlcom.h"

#include <cctype>
#include <string_view>
#include <vector>

namespace qm {

using namespace xmlcom;

namespace {

enum class Charset { CodePage, Latin1, Utf8 };

struct Encoding {
  const char* name;  // as the declaration is written
  Charset charset;
  UINT codePage;
};

constexpr Encoding kEncodings[] = {
    {"Windows-1251", Charset::CodePage, 1251},  // first: the one written when no other applies
    {"Windows-1250", Charset::CodePage, 1250}, {"Windows-1252", Charset::CodePage, 1252},
    {"Windows-1253", Charset::CodePage, 1253}, {"Windows-1254", Charset::CodePage, 1254},
    {"Windows-1255", Charset::CodePage, 1255}, {"Windows-1256", Charset::CodePage, 1256},
    {"Windows-1257", Charset::CodePage, 1257}, {"Windows-1258", Charset::CodePage, 1258},
    {"UTF-8", Charset::Utf8, CP_UTF8},         {"ISO-8859-1", Charset::Latin1, 28591},
};

bool SameNameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

const Encoding& FindEncoding(const std::string& name) {
  for (const Encoding& e : kEncodings) {
    if (SameNameNoCase(name, e.name)) return e;
  }
  return kEncodings[0];
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  }
  out += static_cast<char>(0x80 | (code & 0x3F));
}

// Appends the character's bytes; false when the encoding has none for it. A code-page byte
// counts only when it decodes to the same character again: no best-fit look-alikes.
bool AppendEncoded(std::string& out, char32_t code, const Encoding& encoding) {
  if (code < 0x80) {
    out += static_cast<char>(code);
    return true;
  }
  switch (encoding.charset) {
    case Charset::Utf8:
      AppendUtf8(out, code);
      return true;
    case Charset::Latin1:
      if (code > 0xFF) return false;
      out += static_cast<char>(code);
      return true;
    case Charset::CodePage:
      break;
  }
  return AppendCodePageByte(out, code, encoding.codePage);
}

// Where a run of characters stands decides what it may hold.
enum class Context { Text, Attribute, Opaque, Name };

class Writer {
 public:
  explicit Writer(const Encoding& encoding) : encoding_(encoding) {
    out_ = std::string("<?xml version=\"1.0\" encoding=\"") + encoding.name + "\"?>";
    EndLine();
  }

  std::string Take() { return std::move(out_); }

  // A node on lines of its own.
  void Block(IXMLDOMNode* node, int depth) {
    out_.append(static_cast<size_t>(depth), ' ');
    if (NodeType(node) != NODE_ELEMENT) {
      Inline(node);
      EndLine();
      return;
    }
    const std::vector<ComPtr<IXMLDOMNode>> children = Children(node);
    bool texts = false;
    for (const ComPtr<IXMLDOMNode>& child : children) {
      const DOMNodeType type = NodeType(child.get());
      texts = texts || type == NODE_TEXT || type == NODE_CDATA_SECTION;
    }
    // A line break beside a text would become part of it: an element that holds any text
    // stays on one line with all it holds.
    if (texts || children.empty()) {
      Inline(node, children);
      EndLine();
      return;
    }
    StartTag(node);
    EndLine();
    for (const ComPtr<IXMLDOMNode>& child : children) Block(child.get(), depth + 1);
    out_.append(static_cast<size_t>(depth), ' ');
    EndTag(node);
    EndLine();
  }

 private:
  void EndLine() { out_ += "\r\n"; }

  // A node and all it holds, without line breaks.
  void Inline(IXMLDOMNode* node) {
    Inline(node, NodeType(node) == NODE_ELEMENT ? Children(node) : std::vector<ComPtr<IXMLDOMNode>>());
  }

  void Inline(IXMLDOMNode* node, const std::vector<ComPtr<IXMLDOMNode>>& children) {
    std::wstring value;
    switch (NodeType(node)) {
      case NODE_ELEMENT: {
        StartTag(node);
        for (const ComPtr<IXMLDOMNode>& child : children) Inline(child.get());
        EndTag(node);
        return;
      }
      case NODE_TEXT:
      case NODE_CDATA_SECTION:
        Chars(Value(node), Context::Text);
        return;
      case NODE_COMMENT:
        out_ += "<!--";
        Chars(Value(node), Context::Opaque);
        out_ += "-->";
        return;
      case NODE_PROCESSING_INSTRUCTION:
        out_ += "<?";
        Chars(NodeName(node), Context::Name);
        value = Value(node);
        if (!value.empty()) {
          out_ += ' ';
          Chars(value, Context::Opaque);
        }
        out_ += "?>";
        return;
      default:
        // Dropping it would lose part of the document without a word.
        throw XmlError("node of a kind the serialiser does not write");
    }
  }

  void StartTag(IXMLDOMNode* element) {
    out_ += '<';
    Chars(NodeName(element), Context::Name);
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    long n = 0;
    if (element->get_attributes(attributes.put()) != S_OK || !attributes || FAILED(attributes->get_length(&n)))
      n = 0;
    for (long i = 0; i < n; ++i) {
      ComPtr<IXMLDOMNode> attribute;
      if (attributes->get_item(i, attribute.put()) != S_OK || !attribute) throw XmlError("attribute cannot be read");
      out_ += ' ';
      Chars(NodeName(attribute.get()), Context::Name);
      out_ += "=\"";
      Chars(Value(attribute.get()), Context::Attribute);
      out_ += '"';
    }
    out_ += '>';
  }

  void EndTag(IXMLDOMNode* element) {
    out_ += "</";
    Chars(NodeName(element), Context::Name);
    out_ += '>';
  }

  static std::wstring Value(IXMLDOMNode* node) {
    std::wstring value;
    if (!NodeValue(node, value)) throw XmlError("node value cannot be read");
    return value;
  }

  void Reference(char32_t code) { out_ += "&#" + std::to_string(static_cast<unsigned long>(code)) + ";"; }

  void Chars(const std::wstring& text, Context context) {
    for (size_t i = 0; i < text.size(); ++i) {
      char32_t code = text[i];
      const bool high = code >= 0xD800 && code < 0xDC00;
      if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
        code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
      else if (code >= 0xD800 && code < 0xE000)
        code = '?';  // an unpaired surrogate has no reference either
      if (Escaped(code, context)) continue;
      if (AppendEncoded(out_, code, encoding_)) continue;
      if (context == Context::Name) throw XmlError("a name cannot be written in " + std::string(encoding_.name));
      if (context == Context::Opaque)
        out_ += '?';
      else
        Reference(code);
    }
  }

  // Markup characters, and the line ends and tabs that a reader would otherwise normalise.
  bool Escaped(char32_t code, Context context) {
    if (context == Context::Opaque || context == Context::Name) return false;
    switch (code) {
      case '&': out_ += "&amp;"; return true;
      case '<': out_ += "&lt;"; return true;
      case '>': out_ += "&gt;"; return true;
      case '"':
        if (context != Context::Attribute) return false;
        out_ += "&quot;";
        return true;
      case '\r':
      case '\n':
        Reference(code);  // every line break in the file is the serialiser's own
        return true;
      case '\t':
        if (context != Context::Attribute) return false;
        Reference(code);
        return true;
      default: return false;
    }
  }

  const Encoding& encoding_;
  std::string out_;
};

}  // namespace

bool AppendCodePageByte(std::string& out, char32_t code, UINT codePage) {
  if (code < 0x80) {
    out += static_cast<char>(code);
    return true;
  }
  if (code > 0xFFFF) return false;
  const wchar_t wide = static_cast<wchar_t>(code);
  std::string bytes;
  if (!WideToCodePage(std::wstring_view(&wide, 1), codePage, bytes) || bytes.size() != 1)
    return false;
  out += bytes;
  return true;
}

namespace xmlcom {

std::string DeclaredEncodingName(const std::string& bytes) {
  const size_t start = bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  if (bytes.compare(start, 5, "<?xml") != 0 || bytes.size() <= start + 5 ||
      !std::isspace(static_cast<unsigned char>(bytes[start + 5])))
    return {};
  const size_t end = bytes.find("?>", start);
  if (end == std::string::npos) return {};
  const std::string declaration = bytes.substr(start + 5, end - start - 5);
  size_t at = declaration.find("encoding");
  if (at == std::string::npos) return {};
  at = declaration.find_first_not_of(" \t\r\n", at + 8);
  if (at == std::string::npos || declaration[at] != '=') return {};
  at = declaration.find_first_not_of(" \t\r\n", at + 1);
  if (at == std::string::npos || (declaration[at] != '"' && declaration[at] != '\'')) return {};
  const size_t close = declaration.find(declaration[at], at + 1);
  if (close == std::string::npos) return {};
  return declaration.substr(at + 1, close - at - 1);
}

}  // namespace xmlcom

std::string XmlDocument::Serialise() const {
  if (!doc_) throw XmlError("no document is active");
  Writer writer(FindEncoding(declaredEncoding_));
  for (const ComPtr<IXMLDOMNode>& node : Children(doc_.get())) {
    // The parser may keep the declaration as a node; the writer has written its own.
    if (NodeType(node.get()) == NODE_PROCESSING_INSTRUCTION && NodeName(node.get()) == L"xml") continue;
    writer.Block(node.get(), 0);
  }
  return writer.Take();
}

}  // namespace qm
