#pragma once
// XMP metadata: the well-known namespaces, the in-memory packet tree (packet -> schemas -> properties
// -> sub-properties), reading a packet from RDF/XML and writing it back as XMP text.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zorp/base/DateTime.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifExceptions.h"

struct _xmlNode;  // a libxml2 DOM node (element, or attribute passed as a node)

namespace Zorp::Exif {

class TCustomExifData;
class TXMPPacket;
class TXMPSchema;
class TXMPProperty;
class IXMPPropertyContainer;

ZORP_DECLARE_EXCEPTION(EInvalidXMPPacket, Zorp::Base::Exception);             // "XMP packet is not valid"
ZORP_DECLARE_EXCEPTION(EInvalidXMPOperation, Zorp::Base::EInvalidOperation);  // misuse of the tree
ZORP_DECLARE_EXCEPTION(EInvalidXMPText, EZorpExifException);                  // text an XMP packet cannot hold

// Raises EInvalidXMPText unless text is valid UTF-8 made only of characters XML can hold: no control
// character but TAB, LF and CR, and neither U+FFFE nor U+FFFF. Every text the tree stores (values,
// names, languages, prefixes, URIs, the about value) passes this check first.
void CheckXMPText(std::string_view text);

// ---------------------------------------------------------------------------------------------------
// Namespaces

enum TXMPNamespaceKind : std::uint8_t {
  xnCustom = 0,
  xnRDF,
  xnCameraRaw,
  xnColorant,
  xnDimensions,
  xnDublinCore,
  xnFont,
  xnExif,
  xnExifAux,
  xnIPTCCore,
  xnJob,
  xnMicrosoftPhoto,
  xnPDF,
  xnPhotoshop,
  xnResourceEvent,
  xnResourceRef,
  xnThumbnail,
  xnTIFF,
  xnVersion,
  xnXMPBasic,
  xnXMPBasicJobTicket,
  xnXMPDynamicMedia,
  xnXMPMediaManagement,
  xnXMPPagedText,
  xnXMPRights
};
inline constexpr int XMPWellKnownNamespaceCount = 24;

// The data of an XMP APP1 segment starts with the XMP basic namespace URI and one zero byte.
inline constexpr std::string_view XMPSignature{"http://ns.adobe.com/xap/1.0/\0", 29};

// The well-known table, built once on first use. The prefix of xnCustom is a programming error
// (EAssertionFailed); its URI is empty. URIs are found without regard to ASCII letter case.
const std::string& XMPNamespacePrefix(TXMPNamespaceKind kind);
const std::string& XMPNamespaceURI(TXMPNamespaceKind kind);
bool TryFindXMPNamespace(std::string_view uri, TXMPNamespaceKind& kind);

// A namespace record: a stored prefix and URI, or a well-known kind whose table values fill in.
class TXMPNamespaceInfo {
 public:
  using TNotifyEvent = std::function<void(TXMPNamespaceInfo& sender)>;

  explicit TXMPNamespaceInfo(TXMPNamespaceKind kind);
  TXMPNamespaceInfo(std::string prefix, std::string uri);  // kind xnCustom
  // A copy of the source's values; the change handler is not copied.
  TXMPNamespaceInfo(const TXMPNamespaceInfo& source);
  TXMPNamespaceInfo& operator=(const TXMPNamespaceInfo&) = delete;

  // Copies the values, then notifies.
  void Assign(const TXMPNamespaceInfo& source);
  // Copies stored prefix, stored URI and kind without notification.
  void CopyFrom(const TXMPNamespaceInfo& source);

  TXMPNamespaceKind Kind() const { return FKind; }
  // The stored prefix, or the table prefix of a well-known kind when nothing is stored.
  const std::string& PreferredPrefix() const;
  // Stores and notifies when the text differs (case-sensitively) from the current reading.
  void SetPreferredPrefix(const std::string& prefix);
  // The table URI of a well-known kind, otherwise the stored URI.
  const std::string& URI() const;

  // Takes the prefix and URI found on a DOM node. Returns false (and changes nothing) when both
  // equal the current readings; otherwise re-derives the kind from the URI and returns true,
  // without notification.
  bool UpdatePrefixAndURI(const std::string& prefix, const std::string& uri);

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent handler) { FOnChange = std::move(handler); }

 private:
  void DoChange();

  std::string FPreferredPrefix;
  std::string FURI;
  TXMPNamespaceKind FKind = xnCustom;
  TNotifyEvent FOnChange;
};

// ---------------------------------------------------------------------------------------------------
// Property containers

enum TXMPPropertyKind : std::uint8_t {
  pkSimple = 0,           // a text value
  pkStructure = 1,        // named fields (rdf:Description)
  pkLangAlternative = 2,  // items named by language (rdf:Alt)
  pkBag = 3,              // unnamed items (rdf:Bag)
  pkSequence = 4          // unnamed ordered items (rdf:Seq)
};

enum TXMPWritePolicy : std::uint8_t {
  wpUpdateOrAdd = 0,         // updates create the schema and the property when missing
  wpUpdateExistingOnly = 1,  // updates change only what exists
  wpRemove = 2               // every update removes the property instead
};

class IXMPPropertyEnumerator {
 public:
  virtual ~IXMPPropertyEnumerator() = default;
  virtual TXMPProperty& Current() const = 0;
  virtual bool MoveNext() = 0;
};

// Index-based iteration for range-for over a container's properties.
class TXMPPropertyIterator {
 public:
  TXMPPropertyIterator(const IXMPPropertyContainer* container, int index) : FContainer(container), FIndex(index) {}
  TXMPProperty& operator*() const;
  TXMPPropertyIterator& operator++() {
    ++FIndex;
    return *this;
  }
  bool operator==(const TXMPPropertyIterator& other) const { return FIndex == other.FIndex; }

 private:
  const IXMPPropertyContainer* FContainer;
  int FIndex;
};

// What schemas and properties share: a namespace record and an ordered list of properties.
class IXMPPropertyContainer {
 public:
  virtual ~IXMPPropertyContainer() = default;
  virtual TXMPNamespaceInfo& NamespaceInfo() const = 0;
  // Raises EListError "List index out of bounds (%d)" for a bad index.
  virtual TXMPProperty& Properties(int index) const = 0;
  virtual int PropertyCount() const = 0;
  virtual std::shared_ptr<IXMPPropertyEnumerator> GetEnumerator() const = 0;

  TXMPPropertyIterator begin() const { return {this, 0}; }
  TXMPPropertyIterator end() const { return {this, PropertyCount()}; }
};

using TXMPPropertyList = std::vector<std::unique_ptr<TXMPProperty>>;

// Walks a property list from index -1; the list is not copied and must not change meanwhile.
class TXMPPropertyEnumerator : public IXMPPropertyEnumerator {
 public:
  explicit TXMPPropertyEnumerator(const TXMPPropertyList& list) : FList(list) {}
  TXMPProperty& Current() const override;
  bool MoveNext() override;

 private:
  const TXMPPropertyList& FList;
  int FIndex = -1;
};

// One property; owned by its schema (top level) or by its parent property.
class TXMPProperty : public IXMPPropertyContainer {
 public:
  // A new simple property with its schema's (or parent's) namespace, inheriting it.
  TXMPProperty(TXMPSchema& schema, TXMPProperty* parentProperty);
  TXMPProperty(const TXMPProperty&) = delete;
  TXMPProperty& operator=(const TXMPProperty&) = delete;

  TXMPPropertyKind Kind() const { return FKind; }
  // Items are named ("SubProp%d") for structures and language alternatives and un-named for bags
  // and sequences; pkSimple drops every item. Any kind but pkSequence ends an alternative array.
  void SetKind(TXMPPropertyKind kind);
  // An rdf:Alt whose items have no languages (xmp:Thumbnails, say) is an ordered array like a
  // sequence that is written back as rdf:Alt. Setting it true makes the property a sequence.
  bool AlternativeArray() const { return FAlternativeArray; }
  void SetAlternativeArray(bool value);
  const std::string& Name() const { return FName; }
  // An empty name is a programming error (EAssertionFailed).
  void SetName(const std::string& name);
  const std::string& Value() const { return FValue; }
  bool InheritsNamespace() const { return FInheritsNamespace; }
  TXMPProperty* ParentProperty() const { return FParentProperty; }
  TXMPSchema& Schema() const { return FSchema; }

  bool SupportsSubProperties() const { return FKind >= pkStructure && FKind <= pkSequence; }
  bool NamedSubProperties() const { return FKind == pkStructure || FKind == pkLangAlternative; }

  TXMPProperty& SubProperties(int index) const { return Properties(index); }
  int SubPropertyCount() const { return static_cast<int>(FSubProperties.size()); }
  void SetSubPropertyCount(int count);
  TXMPProperty& AddSubProperty(const std::string& name);
  // The last sub-property with this name (case-sensitive).
  bool FindSubProperty(std::string_view name, TXMPProperty*& property) const;
  TXMPProperty& FindOrAddSubProperty(const std::string& name);
  bool RemoveSubProperty(std::string_view name);

  // The text of the property: a simple value; the "x-default" item of a language alternative
  // (added when missing); the items of a bag or sequence joined by ","; defaultValue otherwise.
  std::string ReadValue(const std::string& defaultValue = "");
  // Sets the text; bags and sequences split it into items at every "," and ";".
  void WriteValue(const std::string& text);
  // Updates, adds or removes one field or item under the packet's write policy.
  void UpdateSubProperty(const std::string& name, TXMPPropertyKind kind, const std::string& text);
  void UpdateSubProperty(const std::string& name, int value);
  void UpdateSubProperty(const std::string& name, bool value);
  void UpdateSubProperty(const std::string& name, const char* value) = delete;  // would pick bool

  void Changed();

  // IXMPPropertyContainer
  TXMPNamespaceInfo& NamespaceInfo() const override { return *FNamespaceInfo; }
  TXMPProperty& Properties(int index) const override;
  int PropertyCount() const override { return SubPropertyCount(); }
  std::shared_ptr<IXMPPropertyEnumerator> GetEnumerator() const override;

 private:
  friend class TXMPSchema;
  void NamespaceChanged();
  void LoadFromNode(const _xmlNode& node, int depth);

  TXMPSchema& FSchema;
  TXMPProperty* FParentProperty;
  TXMPPropertyKind FKind = pkSimple;
  bool FAlternativeArray = false;
  std::string FName;
  std::string FValue;
  bool FInheritsNamespace = true;
  std::unique_ptr<TXMPNamespaceInfo> FNamespaceInfo;
  TXMPPropertyList FSubProperties;
};

// The properties of one namespace URI; owned by its packet.
class TXMPSchema : public IXMPPropertyContainer {
 public:
  TXMPSchema(TXMPPacket& owner, const std::string& uri);
  TXMPSchema(const TXMPSchema&) = delete;
  TXMPSchema& operator=(const TXMPSchema&) = delete;

  TXMPPacket& Owner() const { return FOwner; }
  bool LoadingProperty() const { return FLoadingProperty; }

  // Raises EInvalidXMPOperation while NamespaceInfo().PreferredPrefix() reads empty.
  TXMPProperty& AddProperty(const std::string& name);
  // The first property with this name (case-sensitive).
  bool FindProperty(std::string_view name, TXMPProperty*& property) const;
  bool RemoveProperty(const std::string& name);
  // Removes every property named in names; notifies once when anything went.
  bool RemoveProperties(const std::vector<std::string>& names);
  // Appends a property read from a DOM element or attribute, without notification. The first
  // property loaded gives the schema its preferred prefix.
  TXMPProperty& LoadProperty(const _xmlNode& node);

  void Changed();

  // IXMPPropertyContainer
  TXMPNamespaceInfo& NamespaceInfo() const override { return *FNamespaceInfo; }
  TXMPProperty& Properties(int index) const override;
  int PropertyCount() const override { return static_cast<int>(FProperties.size()); }
  std::shared_ptr<IXMPPropertyEnumerator> GetEnumerator() const override;

 private:
  void NamespaceChanged();

  TXMPPacket& FOwner;
  bool FLoadingProperty = false;
  std::unique_ptr<TXMPNamespaceInfo> FNamespaceInfo;
  TXMPPropertyList FProperties;
};

// ---------------------------------------------------------------------------------------------------
// The packet

class TXMPPacket : public Zorp::Base::IStreamPersist {
 public:
  using TNotifyEvent = std::function<void(TXMPPacket& sender)>;
  using TLoadErrorEvent = std::function<void(TXMPPacket& sender, Zorp::Base::TStream& stream)>;

  TXMPPacket();
  ~TXMPPacket() override;
  TXMPPacket(const TXMPPacket&) = delete;
  TXMPPacket& operator=(const TXMPPacket&) = delete;

  const std::string& AboutAttributeValue() const { return FAboutAttributeValue; }
  void SetAboutAttributeValue(const std::string& value);
  TXMPWritePolicy WritePolicy() const { return FWritePolicy; }
  void SetWritePolicy(TXMPWritePolicy policy) { FWritePolicy = policy; }
  // When set, the saved form starts with the XMP APP1 signature.
  bool WriteSegmentHeader() const { return FWriteSegmentHeader; }
  void SetWriteSegmentHeader(bool value) { FWriteSegmentHeader = value; }

  // The packet text without the signature: the text it was loaded from while the model is
  // unchanged, otherwise the serialised model (which becomes the cache).
  const std::string& RawXML() const;
  // Empty text clears the packet; other text is loaded (a failure goes to DoLoadError).
  void SetRawXML(std::string text);

  // Schemas in order of their URIs compared case-insensitively.
  int SchemaCount() const { return static_cast<int>(FSchemas.size()); }
  TXMPSchema& Schemas(int index) const;
  bool Empty() const { return FSchemas.empty(); }
  bool FindSchema(std::string_view uri, TXMPSchema*& schema) const;
  bool FindSchema(TXMPNamespaceKind kind, TXMPSchema*& schema) const;
  // The schema of this URI, inserted without notification when missing.
  TXMPSchema& FindOrAddSchema(const std::string& uri);

  class TSchemaIterator {
   public:
    TSchemaIterator(const TXMPPacket* packet, int index) : FPacket(packet), FIndex(index) {}
    TXMPSchema& operator*() const { return FPacket->Schemas(FIndex); }
    TSchemaIterator& operator++() {
      ++FIndex;
      return *this;
    }
    bool operator==(const TSchemaIterator& other) const { return FIndex == other.FIndex; }

   private:
    const TXMPPacket* FPacket;
    int FIndex;
  };
  TSchemaIterator begin() const { return {this, 0}; }
  TSchemaIterator end() const { return {this, SchemaCount()}; }

  void RemoveProperty(TXMPNamespaceKind schemaKind, const std::string& name);
  void RemoveProperties(TXMPNamespaceKind schemaKind, const std::vector<std::string>& names);
  // Changes, adds or removes a top-level property under the write policy; the text loses its
  // trailing blanks and control characters. A simple "tiff" property whose name does not start with
  // a lower-case letter also updates an existing all-lower-case twin ("Make" -> "make"). Unless the
  // policy is wpRemove, a name or text the packet cannot hold raises EInvalidXMPText first.
  void UpdateProperty(TXMPNamespaceKind schemaKind, const std::string& name, const std::string& text,
                      TXMPPropertyKind propertyKind = pkSimple);
  void UpdateProperty(TXMPNamespaceKind schemaKind, const std::string& name, int value);
  // Raises what UpdateProperty would raise for text under the current policy; changes nothing. Lets
  // a caller refuse a value before it changes anything else.
  void CheckUpdateText(std::string_view text) const;
  // Writes "yyyy-mm-ddThh:nn:ss.zzz" and "Z", or the local offset from UTC ("+hh:nn") when
  // applyLocalBias is set and the offset is not zero; 0 removes the property.
  void UpdateDateTimeProperty(TXMPNamespaceKind schemaKind, const std::string& name, Zorp::Base::TDateTime value,
                              bool applyLocalBias);
  // Writes a camera's local date-time: "yyyy-mm-ddThh:nn:ss", ".zzz" only when there are milliseconds,
  // then offset as given ("+hh:mm"/"-hh:mm"), or nothing when the zone is unknown, since a "Z" would
  // claim UTC; 0 removes the property.
  void UpdateLocalDateTimeProperty(TXMPNamespaceKind schemaKind, const std::string& name, Zorp::Base::TDateTime value,
                                   const std::string& offset);

  // Forgets the schemas and the about value and notifies (nothing when there is nothing).
  void Clear();
  // nullptr clears; another packet is copied through its text.
  void Assign(const TXMPPacket* source);

  // Loads from the stream's position to its end. False when the data is not an XMP packet; the
  // model is then unchanged (only WriteSegmentHeader follows the data). A failure while the new model
  // is built (out of memory) raises and leaves the packet exactly as it was.
  bool TryLoadFromStream(Zorp::Base::TStream& stream);
  // As TryLoadFromStream, reporting a failure through DoLoadError.
  void LoadFromStream(Zorp::Base::TStream& stream) override;
  // Writes the signature when WriteSegmentHeader is set, then the packet text.
  void SaveToStream(Zorp::Base::TStream& stream) override;

  // Drops the cached text when resetRawXML is set, then fires OnChange.
  virtual void Changed(bool resetRawXML = true);
  // Calls OnLoadError, or raises EInvalidXMPPacket "XMP packet is not valid" when none is set.
  virtual void DoLoadError(Zorp::Base::TStream& stream);

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent handler) { FOnChange = std::move(handler); }
  const TLoadErrorEvent& OnLoadError() const { return FOnLoadError; }
  void SetOnLoadError(TLoadErrorEvent handler) { FOnLoadError = std::move(handler); }

 private:
  struct TSchemaEntry {
    std::string URI;
    std::unique_ptr<TXMPSchema> Schema;
  };
  // Index of the entry with this URI (case-insensitive), or where it would be inserted.
  std::size_t LowerBound(std::string_view uri) const;
  void ClearWithoutNotification();
  void UpdatePropertyCore(TXMPNamespaceKind schemaKind, const std::string& name, const std::string& text,
                          TXMPPropertyKind propertyKind, TXMPWritePolicy policy);

  std::string FAboutAttributeValue;
  mutable std::string FRawXML;
  std::vector<TSchemaEntry> FSchemas;
  TXMPWritePolicy FWritePolicy = wpUpdateOrAdd;
  bool FWriteSegmentHeader = false;
  TNotifyEvent FOnChange;
  TLoadErrorEvent FOnLoadError;
};

// The packet owned by an Exif data container.
class TContainedXMPPacket : public TXMPPacket {
 public:
  explicit TContainedXMPPacket(TCustomExifData* owner) : FOwner(owner) {}
  TCustomExifData* Owner() const { return FOwner; }

 private:
  TCustomExifData* FOwner;
};

// Reads up to the signature's length and compares; the stream position is restored either way.
bool HasXMPSignature(Zorp::Base::TStream& stream);

// The model as text lines, one per simple value: "PREFIX:NAME = VALUE", with the path of nested
// values ("exif:Flash/exif:Fired = True"), bag and sequence items as "[1]", "[2]"..., language
// alternative items as "[x-default]". Line breaks inside a value are shown as "\n". Reads only.
std::vector<std::string> ListXMPValues(const TXMPPacket& packet);

}  // namespace Zorp::Exif
