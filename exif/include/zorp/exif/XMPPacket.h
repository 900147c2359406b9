#pragma once
// The XMP packet: the schemas of one packet, reading it from RDF/XML and writing it back as XMP text.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "zorp/base/DateTime.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/XMPModel.h"

namespace Zorp::Exif {

class TCustomExifData;

ZORP_DECLARE_EXCEPTION(EInvalidXMPPacket, Zorp::Base::Exception);  // "XMP packet is not valid"

// The data of an XMP APP1 segment starts with the XMP basic namespace URI and one zero byte.
inline constexpr std::string_view XMPSignature{"http://ns.adobe.com/xap/1.0/\0", 29};

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
  // Writes a camera's local date-time: "yyyy-mm-ddThh:nn:ss", a fraction, then the zone: offset as
  // given ("+hh:mm"/"-hh:mm"), else the zone designator of the date it replaces, else nothing (a "Z"
  // would claim UTC). The fraction is ".zzz" when value has milliseconds; with keepFraction it is
  // instead the fraction of the date it replaces, digit for digit. 0 removes the property.
  void UpdateLocalDateTimeProperty(TXMPNamespaceKind schemaKind, const std::string& name, Zorp::Base::TDateTime value,
                                   const std::string& offset, bool keepFraction = false);

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

// The same walk as path and value apart, for a list that shows them in two columns.
struct TXMPListedValue {
  std::string Path;
  std::string Value;
};
std::vector<TXMPListedValue> ListXMPPathsAndValues(const TXMPPacket& packet);

}  // namespace Zorp::Exif
