// Writing an XMP packet: the fixed header and trailer, one rdf:Description block per schema and
// the properties below it, as UTF-8 text with TAB indentation and LF line ends.

#include <string>

#include "XMPDetail.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/XMPUtils.h"

namespace Zorp::Exif {

namespace {

constexpr std::string_view PacketHeader =
    "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" ZorpExifVersion=\"1.1.2\">\n";
constexpr std::string_view PacketTrailer = "\t</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?> ";

// The tree refuses text that is not UTF-8; should any reach the writer all the same, it goes out as
// Windows-1252 characters, so the packet is always valid UTF-8.
std::string Utf8(const std::string& text) {
  return Zorp::Base::IsValidUtf8(text) ? text : Zorp::Base::Windows1252ToUtf8(text);
}

// Escapes text for element content, or for a quoted attribute (the about value, languages, URIs).
// A parser turns a CR in content into LF, and TAB, LF and CR in an attribute into blanks; character
// references keep them.
std::string EscapeText(const std::string& value, bool attribute) {
  std::string result;
  result.reserve(value.size());
  for (char c : Utf8(value)) {
    switch (c) {
      case '&':
        result += "&amp;";
        break;
      case '<':
        result += "&lt;";
        break;
      case '>':
        result += "&gt;";
        break;
      case '"':
        result += "&quot;";
        break;
      case '\'':
        result += "&apos;";
        break;
      case '\r':
        result += "&#xD;";
        break;
      case '\n':
        result += attribute ? "&#xA;" : "\n";
        break;
      case '\t':
        result += attribute ? "&#x9;" : "\t";
        break;
      default:
        result += c;
    }
  }
  return result;
}

std::string EscapeValue(const std::string& value) { return EscapeText(value, false); }
std::string EscapeAttribute(const std::string& value) { return EscapeText(value, true); }

// A namespace declaration and a qualified name. A record without a prefix (read from a default
// namespace declaration) is written as the default namespace, so the text stays well-formed.
std::string Declaration(const TXMPNamespaceInfo& ns) {
  const std::string& prefix = ns.PreferredPrefix();
  return (prefix.empty() ? " xmlns" : " xmlns:" + Utf8(prefix)) + "=\"" + EscapeAttribute(ns.URI()) + "\"";
}

std::string QualifiedName(const TXMPNamespaceInfo& ns, const std::string& name) {
  const std::string& prefix = ns.PreferredPrefix();
  return prefix.empty() ? Utf8(name) : Utf8(prefix) + ":" + Utf8(name);
}

const char* ContainerElement(const TXMPProperty& property) {
  switch (property.Kind()) {
    case pkStructure:
      return "rdf:Description";
    case pkLangAlternative:
      return "rdf:Alt";
    case pkBag:
      return "rdf:Bag";
    case pkSequence:
      return property.AlternativeArray() ? "rdf:Alt" : "rdf:Seq";
    case pkSimple:
      break;
  }
  throw Zorp::Base::EAssertionFailed(SAssertionFailed);
}

void WriteProperties(const IXMPPropertyContainer& container, int level, std::string& out) {
  const std::string indent(static_cast<std::size_t>(level), '\t');
  for (const TXMPProperty& property : container) {
    const TXMPProperty* parent = property.ParentProperty();
    const bool item = parent != nullptr && parent->Kind() != pkStructure;
    const TXMPNamespaceInfo& ns = property.NamespaceInfo();
    const std::string declaration = item || property.InheritsNamespace() ? std::string() : Declaration(ns);
    const std::string name = QualifiedName(ns, property.Name());

    if (item) {
      out += indent + "<rdf:li";
      if (parent->Kind() == pkLangAlternative) out += " xml:lang=\"" + EscapeAttribute(property.Name()) + "\"";
      out += '>';
    }
    if (property.Kind() != pkSimple) {
      if (item)
        out += '\n';
      else
        out += indent + "<" + name + declaration + ">\n";
      const char* element = ContainerElement(property);
      out += indent + "\t<" + element + ">\n";
      WriteProperties(property, level + 2, out);
      out += indent + "\t</" + element + ">\n";
      out += indent + "</" + (item ? std::string("rdf:li") : name) + ">\n";
    } else {
      const std::string value = EscapeValue(property.Value());
      if (item)
        out += value + "</rdf:li>\n";
      else
        out += indent + "<" + name + declaration + ">" + value + "</" + name + ">\n";
    }
  }
}

}  // namespace

namespace Detail {

std::string SerializeXMPPacket(const TXMPPacket& packet) {
  std::string out(PacketHeader);
  out += "\t<rdf:RDF xmlns:rdf=\"" + XMPNamespaceURI(xnRDF) + "\">\n";
  for (const TXMPSchema& schema : packet) {
    const TXMPNamespaceInfo& ns = schema.NamespaceInfo();
    out += "\t\t<rdf:Description rdf:about=\"" + EscapeAttribute(packet.AboutAttributeValue()) + "\"" +
           Declaration(ns) + ">\n";
    WriteProperties(schema, 3, out);
    out += "\t\t</rdf:Description>\n";
  }
  out += PacketTrailer;
  return out;
}

}  // namespace Detail

void TXMPPacket::SaveToStream(Zorp::Base::TStream& stream) {
  if (FWriteSegmentHeader) stream.WriteBuffer(XMPSignature.data(), static_cast<std::int64_t>(XMPSignature.size()));
  if (!FRawXML.empty()) {
    stream.WriteBuffer(FRawXML.data(), static_cast<std::int64_t>(FRawXML.size()));
    if (FRawXML.back() != ' ') stream.WriteBuffer(" ", 1);
    return;
  }
  const std::string text = Detail::SerializeXMPPacket(*this);
  stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

}  // namespace Zorp::Exif
