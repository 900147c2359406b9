// Reading an XMP packet: the signature test, parsing the RDF/XML with libxml2 and building the
// schemas, properties and sub-properties from the rdf:Description elements.
//
// The XML comes from untrusted files. The parser runs without network access, without loading
// external entities or DTDs and with libxml2's bounded entity expansion; the input size is capped
// and the tree is read without expanding entity references, so hostile packets fail or load quickly.
//
// libxml2 is opened on the first packet parsed, not at program start: a program that reads no XMP
// (`quorvane-cli tags` on one photo) does not pay for loading it and the libraries it needs.

#include <dlfcn.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "XMPDetail.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/XMPUtils.h"

namespace Zorp::Exif {

namespace {

constexpr std::string_view XmlNamespaceURI = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view XmlnsNamespaceURI = "http://www.w3.org/2000/xmlns/";

// The libxml2 functions used here, looked up once; all null when the library cannot be opened.
struct TXmlLibrary {
  decltype(&::xmlReadMemory) ReadMemory = nullptr;
  decltype(&::xmlFreeDoc) FreeDoc = nullptr;
  decltype(&::xmlDocDumpFormatMemoryEnc) DumpFormatMemoryEnc = nullptr;
#if defined(LIBXML_THREAD_ALLOC_ENABLED) && defined(LIBXML_THREAD_ENABLED)
  xmlFreeFunc* (*FreeHook)() = nullptr;  // the thread's xmlFree
  void Free(void* memory) const { (*FreeHook())(memory); }
#else
  xmlFreeFunc* FreeHook = nullptr;  // libxml2's variable xmlFree
  void Free(void* memory) const { (*FreeHook)(memory); }
#endif
};

template <typename T>
bool LookUp(void* handle, const char* name, T& function) {
  function = reinterpret_cast<T>(::dlsym(handle, name));
  return function != nullptr;
}

const TXmlLibrary& XmlLibrary() {
  static const TXmlLibrary library = [] {
    TXmlLibrary found;
    void* handle = ::dlopen(ZORP_LIBXML2_SONAME, RTLD_NOW | RTLD_LOCAL);
    decltype(&::xmlInitParser) initParser = nullptr;
#if defined(LIBXML_THREAD_ALLOC_ENABLED) && defined(LIBXML_THREAD_ENABLED)
    const char* freeName = "__xmlFree";
#else
    const char* freeName = "xmlFree";
#endif
    if (!handle || !LookUp(handle, "xmlInitParser", initParser) || !LookUp(handle, "xmlReadMemory", found.ReadMemory) ||
        !LookUp(handle, "xmlFreeDoc", found.FreeDoc) ||
        !LookUp(handle, "xmlDocDumpFormatMemoryEnc", found.DumpFormatMemoryEnc) ||
        !LookUp(handle, freeName, found.FreeHook))
      return TXmlLibrary{};  // no parser: every packet fails to load, as unreadable XML does
    initParser();
    return found;
  }();
  return library;
}

struct TXmlDocDeleter {
  void operator()(xmlDoc* document) const noexcept { XmlLibrary().FreeDoc(document); }
};
using TXmlDocument = std::unique_ptr<xmlDoc, TXmlDocDeleter>;

struct TXmlCharsDeleter {
  void operator()(xmlChar* text) const noexcept { XmlLibrary().Free(text); }
};

std::string_view Text(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

// Attributes are handed around as nodes (as libxml2 itself does); these accessors read the fields
// through the right structure.
bool IsAttribute(const xmlNode* node) { return node->type == XML_ATTRIBUTE_NODE; }
const xmlNode* AsNode(const xmlAttr* attribute) { return reinterpret_cast<const xmlNode*>(attribute); }
const xmlAttr* AsAttribute(const xmlNode* node) { return reinterpret_cast<const xmlAttr*>(node); }

const xmlNs* NamespaceOf(const xmlNode* node) { return IsAttribute(node) ? AsAttribute(node)->ns : node->ns; }
const xmlNode* FirstChild(const xmlNode* node) {
  return IsAttribute(node) ? AsAttribute(node)->children : node->children;
}
std::string_view LocalName(const xmlNode* node) { return Text(node->name); }
std::string_view NamespaceURI(const xmlNode* node) {
  const xmlNs* ns = NamespaceOf(node);
  return ns ? Text(ns->href) : std::string_view();
}
std::string_view Prefix(const xmlNode* node) {
  const xmlNs* ns = NamespaceOf(node);
  return ns ? Text(ns->prefix) : std::string_view();
}
std::string QualifiedName(const xmlNode* node) {
  const std::string_view prefix = Prefix(node);
  std::string name(LocalName(node));
  return prefix.empty() ? name : std::string(prefix) + ":" + name;
}

bool IsNamespaceDeclaration(const xmlAttr* attribute) {
  return Prefix(AsNode(attribute)) == "xmlns" || NamespaceURI(AsNode(attribute)) == XmlnsNamespaceURI;
}

bool IsXmlLang(const xmlAttr* attribute) {
  return Text(attribute->name) == "lang" && NamespaceURI(AsNode(attribute)) == XmlNamespaceURI;
}

// The attribute's value from its text children; entity references are not expanded.
std::string AttributeText(const xmlAttr* attribute) {
  std::string value;
  for (const xmlNode* child = attribute->children; child; child = child->next)
    if (child->type == XML_TEXT_NODE) value += Text(child->content);
  return value;
}

// The element's attribute by namespace URI (empty: no namespace) and local name.
const xmlAttr* FindAttribute(const xmlNode* element, std::string_view uri, std::string_view localName) {
  for (const xmlAttr* attribute = element->properties; attribute; attribute = attribute->next)
    if (Text(attribute->name) == localName && NamespaceURI(AsNode(attribute)) == uri) return attribute;
  return nullptr;
}

std::string AttributeValue(const xmlNode* element, std::string_view uri, std::string_view localName) {
  const xmlAttr* attribute = FindAttribute(element, uri, localName);
  return attribute ? AttributeText(attribute) : std::string();
}

// Whether an attribute is a structure field: not a namespace declaration, not xml:lang (which only
// names the element, an empty language alternative item) and not RDF's syntax that names or shapes a
// node (rdf:about on a nested description, rdf:ID, rdf:parseType...).
bool IsFieldAttribute(const xmlAttr* attribute) {
  if (IsNamespaceDeclaration(attribute) || IsXmlLang(attribute)) return false;
  if (NamespaceURI(AsNode(attribute)) != XMPNamespaceURI(xnRDF)) return true;
  const std::string_view name = reinterpret_cast<const char*>(attribute->name);
  return name != "about" && name != "ID" && name != "nodeID" && name != "parseType" && name != "bagID";
}

// Whether an empty element's attributes make it the abbreviated form of a structure.
bool HasFieldAttributes(const xmlNode* element) {
  for (const xmlAttr* attribute = element->properties; attribute; attribute = attribute->next)
    if (IsFieldAttribute(attribute)) return true;
  return false;
}

bool IsWhitespace(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

// Whether an rdf:Alt holds language alternatives: some item carries xml:lang, or there is no item
// at all (as an empty alternative has always been read).
bool IsLanguageAlternative(const xmlNode* alternative) {
  bool anyItem = false;
  for (const xmlNode* child = alternative->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE || QualifiedName(child) != "rdf:li") continue;
    if (FindAttribute(child, XmlNamespaceURI, "lang") != nullptr) return true;
    anyItem = true;
  }
  return !anyItem;
}

// The first child that is an element or a text node. Whitespace-only text that stands between
// elements (layout) is not content.
const xmlNode* FirstContentChild(const xmlNode* node) {
  for (const xmlNode* child = FirstChild(node); child; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) return child;
    if (child->type != XML_TEXT_NODE) continue;
    if (!IsWhitespace(Text(child->content))) return child;
    bool elementFollows = false;
    for (const xmlNode* next = child->next; next && !elementFollows; next = next->next)
      elementFollows = next->type == XML_ELEMENT_NODE;
    if (!elementFollows) return child;
  }
  return nullptr;
}

// The top-level element named RDF, or the rdf:RDF child of an xmpmeta/xapmeta wrapper.
const xmlNode* FindRDFElement(const xmlDoc* document) {
  for (const xmlNode* node = document->children; node; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    const std::string_view name = LocalName(node);
    if (name == "RDF") return node;
    if (name == "xmpmeta" || name == "xapmeta") {
      for (const xmlNode* child = node->children; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE && QualifiedName(child) == "rdf:RDF") return child;
      return nullptr;
    }
  }
  return nullptr;
}

TXmlDocument ParseDocument(const std::string& buffer) {
  const TXmlLibrary& library = XmlLibrary();
  if (!library.ReadMemory) return nullptr;
  if (buffer.empty() || buffer.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
  // No network, no entity substitution, no DTD loading and no huge-document mode: external entities
  // are never read and expansion stays within libxml2's limits. Blank layout text is dropped, CDATA
  // reads as text, and nothing is printed.
  const int options =
      XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOCDATA | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  return TXmlDocument(library.ReadMemory(buffer.data(), static_cast<int>(buffer.size()), nullptr, nullptr, options));
}

std::string SerializeDocument(xmlDoc* document) {
  xmlChar* memory = nullptr;
  int size = 0;
  XmlLibrary().DumpFormatMemoryEnc(document, &memory, &size, "UTF-8", 0);
  std::unique_ptr<xmlChar, TXmlCharsDeleter> owner(memory);
  if (memory == nullptr || size <= 0) return std::string();
  return std::string(reinterpret_cast<const char*>(memory), static_cast<std::size_t>(size));
}

}  // namespace

namespace Detail {

// Builds the model from the parsed document; a friend of the model classes, so that no libxml2
// type appears in their declarations.
class TXMPModelLoader {
 public:
  // Appends a property read from a DOM element or attribute, without notification. The first
  // property loaded gives the schema its preferred prefix.
  static TXMPProperty& LoadProperty(TXMPSchema& schema, const xmlNode* node);

 private:
  static void LoadFromNode(TXMPProperty& property, const xmlNode* node, int depth);
};

void TXMPModelLoader::LoadFromNode(TXMPProperty& property, const xmlNode* node, int depth) {
  const bool element = node->type == XML_ELEMENT_NODE;
  const std::string& rdf = XMPNamespaceURI(xnRDF);

  // The shape, and the node C whose children hold the content.
  const xmlNode* content = nullptr;
  bool resourceForm = false;
  if (element && AttributeValue(node, rdf, "parseType") == "Resource") {
    property.FKind = pkStructure;
    content = node;
    resourceForm = true;
  } else {
    content = FirstContentChild(node);
    if (content && content->type == XML_ELEMENT_NODE) {
      const std::string name = QualifiedName(content);
      if (name == "rdf:Alt") {
        // Without languages an alternative is an ordered array that remembers its element.
        property.FAlternativeArray = !IsLanguageAlternative(content);
        property.FKind = property.FAlternativeArray ? pkSequence : pkLangAlternative;
      } else if (name == "rdf:Bag") {
        property.FKind = pkBag;
      } else if (name == "rdf:Seq") {
        property.FKind = pkSequence;
      } else if (name == "rdf:Description") {
        property.FKind = pkStructure;
      }
    }
  }
  if (property.FKind == pkSimple) {
    if (content) {
      if (content->type == XML_TEXT_NODE) property.FValue = Text(content->content);
    } else if (element && HasFieldAttributes(node)) {
      property.FKind = pkStructure;  // a structure whose fields are the element's attributes
      content = node;
    }
  }

  // Name and namespace: items are named by language or not at all.
  if (property.FParentProperty && property.FParentProperty->FKind == pkLangAlternative) {
    property.FName = element ? AttributeValue(node, XmlNamespaceURI, "lang") : std::string();
  } else if (property.FParentProperty &&
             (property.FParentProperty->FKind == pkBag || property.FParentProperty->FKind == pkSequence)) {
    property.FName.clear();
  } else {
    property.FName = LocalName(node);
    if (property.FNamespaceInfo->UpdatePrefixAndURI(std::string(Prefix(node)), std::string(NamespaceURI(node))))
      property.FInheritsNamespace = false;
  }

  if (!property.SupportsSubProperties() || content == nullptr || depth >= Detail::MaxXMPDepth) return;
  const auto addSubProperty = [&property, depth](const xmlNode* child) {
    auto item = std::make_unique<TXMPProperty>(property.FSchema, &property);
    LoadFromNode(*item, child, depth + 1);
    property.FSubProperties.push_back(std::move(item));
  };
  // Fields need a namespace: a field without one could not be written back as prefix:name.
  if (property.FKind == pkStructure && !resourceForm && content->type == XML_ELEMENT_NODE) {
    for (const xmlAttr* attribute = content->properties; attribute; attribute = attribute->next)
      if (IsFieldAttribute(attribute) && !NamespaceURI(AsNode(attribute)).empty()) addSubProperty(AsNode(attribute));
  }
  for (const xmlNode* child = FirstChild(content); child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    if (property.FKind == pkStructure) {
      if (!NamespaceURI(child).empty()) addSubProperty(child);
    } else if (QualifiedName(child) == "rdf:li" &&
               (property.FKind != pkLangAlternative || FindAttribute(child, XmlNamespaceURI, "lang") != nullptr)) {
      addSubProperty(child);
    }
  }
}

TXMPProperty& TXMPModelLoader::LoadProperty(TXMPSchema& schema, const xmlNode* node) {
  struct TLoadingScope {
    bool& Flag;
    explicit TLoadingScope(bool& flag) : Flag(flag) { Flag = true; }
    ~TLoadingScope() { Flag = false; }
  } scope(schema.FLoadingProperty);
  if (schema.FProperties.empty()) schema.FNamespaceInfo->SetPreferredPrefix(std::string(Prefix(node)));
  auto property = std::make_unique<TXMPProperty>(schema, nullptr);
  LoadFromNode(*property, node, 0);
  schema.FProperties.push_back(std::move(property));
  return *schema.FProperties.back();
}

}  // namespace Detail

bool TXMPPacket::TryLoadFromStream(Zorp::Base::TStream& stream) {
  const std::int64_t start = stream.Position();
  char signature[XMPSignature.size()];
  const std::int64_t signatureRead = stream.Read(signature, static_cast<std::int64_t>(sizeof signature));
  const bool signedData = signatureRead == static_cast<std::int64_t>(sizeof signature) &&
                          std::string_view(signature, sizeof signature) == XMPSignature;
  if (!signedData) stream.SetPosition(start);

  // Data that is no packet leaves the model as it is; only the segment header follows the data.
  const auto notAPacket = [this, signedData] {
    FWriteSegmentHeader = signedData;
    return false;
  };
  const std::int64_t remaining = stream.Size() - stream.Position();
  if (remaining <= 0 || remaining > Detail::MaxXMPInputSize) return notAPacket();
  std::string buffer(static_cast<std::size_t>(remaining), '\0');
  std::int64_t count = 0;
  while (count < remaining) {
    const std::int64_t n = stream.Read(buffer.data() + count, remaining - count);
    if (n <= 0) break;
    count += n;
  }
  buffer.resize(static_cast<std::size_t>(count));
  // A packet padded with zero bytes still parses.
  std::replace(buffer.begin(), buffer.end(), '\0', ' ');

  const TXmlDocument document = ParseDocument(buffer);
  if (!document) return notAPacket();
  const xmlNode* rdfElement = FindRDFElement(document.get());
  if (rdfElement == nullptr) return notAPacket();

  // The new model grows in emptied fields while the old one waits aside; a failure while building
  // puts the old one back, so no half-read model is ever left behind.
  std::vector<TSchemaEntry> oldSchemas = std::move(FSchemas);
  std::string oldAboutAttributeValue = std::move(FAboutAttributeValue);
  std::string oldRawXML = std::move(FRawXML);
  FSchemas.clear();
  FAboutAttributeValue.clear();
  FRawXML.clear();
  try {
    // A packet that comes with its xpacket wrapper is kept as read, to be written back unchanged.
    FRawXML = buffer.compare(0, 10, "<?xpacket ") == 0 ? std::move(buffer) : SerializeDocument(document.get());
    const std::string& rdf = XMPNamespaceURI(xnRDF);
    for (const xmlNode* description = rdfElement->children; description; description = description->next) {
      if (description->type != XML_ELEMENT_NODE || NamespaceURI(description) != rdf ||
          !Zorp::Base::SameText(QualifiedName(description), "rdf:Description"))
        continue;
      if (FAboutAttributeValue.empty()) {
        FAboutAttributeValue = AttributeValue(description, rdf, "about");
        if (FAboutAttributeValue.empty()) FAboutAttributeValue = AttributeValue(description, "", "about");
      }
      for (const xmlAttr* attribute = description->properties; attribute; attribute = attribute->next) {
        if (IsNamespaceDeclaration(attribute)) continue;
        const std::string_view uri = NamespaceURI(AsNode(attribute));
        if (!uri.empty() && uri != rdf)
          Detail::TXMPModelLoader::LoadProperty(FindOrAddSchema(std::string(uri)), AsNode(attribute));
      }
      for (const xmlNode* child = description->children; child; child = child->next) {
        const std::string_view uri = NamespaceURI(child);
        if (child->type == XML_ELEMENT_NODE && !uri.empty())
          Detail::TXMPModelLoader::LoadProperty(FindOrAddSchema(std::string(uri)), child);
      }
    }
  } catch (...) {
    FSchemas = std::move(oldSchemas);
    FAboutAttributeValue = std::move(oldAboutAttributeValue);
    FRawXML = std::move(oldRawXML);
    throw;
  }
  oldSchemas.clear();
  FWriteSegmentHeader = signedData;
  Changed(false);
  return true;
}

}  // namespace Zorp::Exif
