// The XMP tree: the well-known namespace table, namespace records, properties, schemas and the
// packet's update operations. Reading lives in XMPReader.cpp, writing in XMPWriter.cpp.

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>

#include "XMPDetail.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/XMPDates.h"
#include "zorp/exif/XMPUtils.h"

namespace Zorp::Exif {

using Zorp::Base::CompareText;
using Zorp::Base::EAssertionFailed;
using Zorp::Base::EListError;

// ---------------------------------------------------------------------------------------------------
// The well-known table

namespace {

struct TWellKnownNamespace {
  const char* Prefix;
  const char* URI;
};

// Indexed by kind; entry 0 stands for xnCustom.
constexpr std::array<TWellKnownNamespace, XMPWellKnownNamespaceCount + 1> WellKnownNamespaces{{
    {"", ""},
    {"rdf", "http://www.w3.org/1999/02/22-rdf-syntax-ns#"},
    {"crs", "http://ns.adobe.com/camera-raw-settings/1.0/"},
    {"xmpG", "http://ns.adobe.com/xap/1.0/g"},
    {"stDim", "http://ns.adobe.com/xap/1.0/sType/Dimensions#"},
    {"dc", "http://purl.org/dc/elements/1.1/"},
    {"stFnt", "http://ns.adobe.com/xap/1.0/sType/Font#"},
    {"exif", "http://ns.adobe.com/exif/1.0/"},
    {"aux", "http://ns.adobe.com/exif/1.0/aux/"},
    {"Iptc4xmpCore", "http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/"},
    {"stJob", "http://ns.adobe.com/xap/1.0/sType/Job#"},
    {"MicrosoftPhoto", "http://ns.microsoft.com/photo/1.0"},
    {"pdf", "http://ns.adobe.com/pdf/1.3/"},
    {"photoshop", "http://ns.adobe.com/photoshop/1.0/"},
    {"stEvt", "http://ns.adobe.com/xap/1.0/sType/ResourceEvent#"},
    {"stRef", "http://ns.adobe.com/xap/1.0/sType/ResourceRef#"},
    {"xmpGImg", "http://ns.adobe.com/xap/1.0/g/img/"},
    {"tiff", "http://ns.adobe.com/tiff/1.0/"},
    {"stVer", "http://ns.adobe.com/xap/1.0/sType/Version#"},
    {"xmp", "http://ns.adobe.com/xap/1.0/"},
    {"xmpBJ", "http://ns.adobe.com/xap/1.0/bj/"},
    {"xmpDM", "http://ns.adobe.com/xmp/1.0/DynamicMedia/"},
    {"xmpMM", "http://ns.adobe.com/xap/1.0/mm/"},
    {"xmpTPg", "http://ns.adobe.com/xap/1.0/t/pg/"},
    {"xmpRights", "http://ns.adobe.com/xap/1.0/rights/"},
}};

// Prefixes and URIs as strings, and the URIs sorted case-insensitively with the kind each carries.
struct TWellKnownTable {
  std::array<std::string, XMPWellKnownNamespaceCount + 1> Prefixes;
  std::array<std::string, XMPWellKnownNamespaceCount + 1> URIs;
  std::array<TXMPNamespaceKind, XMPWellKnownNamespaceCount> SortedKinds;
  std::array<int, XMPWellKnownNamespaceCount + 1> SortedIndexOfKind;  // kind -> index in SortedKinds
};

const TWellKnownTable& Table() {
  // A function-local static: built once, on first use, safely from any thread.
  static const TWellKnownTable table = [] {
    TWellKnownTable t;
    for (int kind = 0; kind <= XMPWellKnownNamespaceCount; ++kind) {
      t.Prefixes[kind] = WellKnownNamespaces[kind].Prefix;
      t.URIs[kind] = WellKnownNamespaces[kind].URI;
    }
    for (int i = 0; i < XMPWellKnownNamespaceCount; ++i) t.SortedKinds[i] = static_cast<TXMPNamespaceKind>(i + 1);
    std::sort(t.SortedKinds.begin(), t.SortedKinds.end(),
              [&t](TXMPNamespaceKind a, TXMPNamespaceKind b) { return CompareText(t.URIs[a], t.URIs[b]) < 0; });
    t.SortedIndexOfKind[xnCustom] = -1;
    for (int i = 0; i < XMPWellKnownNamespaceCount; ++i) t.SortedIndexOfKind[t.SortedKinds[i]] = i;
    return t;
  }();
  return table;
}

void CheckKind(TXMPNamespaceKind kind) {
  if (kind > XMPWellKnownNamespaceCount) throw EAssertionFailed(SAssertionFailed);
}

}  // namespace

const std::string& XMPNamespacePrefix(TXMPNamespaceKind kind) {
  CheckKind(kind);
  if (kind == xnCustom) throw EAssertionFailed(SAssertionFailed);
  return Table().Prefixes[kind];
}

const std::string& XMPNamespaceURI(TXMPNamespaceKind kind) {
  CheckKind(kind);
  return Table().URIs[kind];
}

bool TryFindXMPNamespace(std::string_view uri, TXMPNamespaceKind& kind) {
  const TWellKnownTable& t = Table();
  const auto it =
      std::lower_bound(t.SortedKinds.begin(), t.SortedKinds.end(), uri,
                       [&t](TXMPNamespaceKind k, std::string_view u) { return CompareText(t.URIs[k], u) < 0; });
  if (it != t.SortedKinds.end() && CompareText(t.URIs[*it], uri) == 0) {
    kind = *it;
    return true;
  }
  kind = xnCustom;
  return false;
}

void CheckXMPText(std::string_view text) {
  char32_t code = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = Zorp::Base::DecodeUtf8(text, pos, code);
    if (length == 0)
      throw EInvalidXMPText(
          Zorp::Base::Format(SXMPTextNotUtf8, static_cast<unsigned>(static_cast<unsigned char>(text[pos]))));
    const bool allowed = code >= 0x20 ? code != 0xFFFE && code != 0xFFFF : code == '\t' || code == '\n' || code == '\r';
    if (!allowed) throw EInvalidXMPText(Zorp::Base::Format(SXMPTextInvalidCharacter, static_cast<unsigned>(code)));
    pos += length;
  }
}

// ---------------------------------------------------------------------------------------------------
// TXMPNamespaceInfo

TXMPNamespaceInfo::TXMPNamespaceInfo(TXMPNamespaceKind kind) : FKind(kind) { CheckKind(kind); }

TXMPNamespaceInfo::TXMPNamespaceInfo(std::string prefix, std::string uri)
    : FPreferredPrefix(std::move(prefix)), FURI(std::move(uri)), FKind(xnCustom) {
  CheckXMPText(FPreferredPrefix);
  CheckXMPText(FURI);
}

TXMPNamespaceInfo::TXMPNamespaceInfo(const TXMPNamespaceInfo& source)
    : FPreferredPrefix(source.FPreferredPrefix), FURI(source.FURI), FKind(source.FKind) {}

void TXMPNamespaceInfo::Assign(const TXMPNamespaceInfo& source) {
  CopyFrom(source);
  DoChange();
}

void TXMPNamespaceInfo::CopyFrom(const TXMPNamespaceInfo& source) {
  if (&source == this) return;
  FPreferredPrefix = source.FPreferredPrefix;
  FURI = source.FURI;
  FKind = source.FKind;
}

const std::string& TXMPNamespaceInfo::PreferredPrefix() const {
  if (!FPreferredPrefix.empty() || FKind == xnCustom) return FPreferredPrefix;
  return Table().Prefixes[FKind];
}

void TXMPNamespaceInfo::SetPreferredPrefix(const std::string& prefix) {
  if (prefix == PreferredPrefix()) return;
  CheckXMPText(prefix);
  FPreferredPrefix = prefix;
  DoChange();
}

const std::string& TXMPNamespaceInfo::URI() const { return FKind == xnCustom ? FURI : Table().URIs[FKind]; }

bool TXMPNamespaceInfo::UpdatePrefixAndURI(const std::string& prefix, const std::string& uri) {
  if (uri == URI() && prefix == PreferredPrefix()) return false;
  TXMPNamespaceKind kind;
  const bool wellKnown = TryFindXMPNamespace(uri, kind);
  FKind = kind;
  if (wellKnown && prefix == Table().Prefixes[kind]) {
    FPreferredPrefix.clear();
    FURI.clear();
  } else {
    FPreferredPrefix = prefix;
    FURI = uri;
  }
  return true;
}

void TXMPNamespaceInfo::DoChange() {
  if (FOnChange) FOnChange(*this);
}

// ---------------------------------------------------------------------------------------------------
// Enumeration

namespace {

TXMPProperty& ItemAt(const TXMPPropertyList& list, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= list.size())
    throw EListError(Zorp::Base::Format(SListIndexError, index));
  return *list[static_cast<std::size_t>(index)];
}

// The namespace walk: every inheriting property below container takes the container's record.
void ApplyInheritedNamespace(const IXMPPropertyContainer& container) {
  for (TXMPProperty& property : container) {
    if (!property.InheritsNamespace()) continue;
    property.NamespaceInfo().CopyFrom(container.NamespaceInfo());
    ApplyInheritedNamespace(property);
  }
}

}  // namespace

TXMPProperty& TXMPPropertyIterator::operator*() const { return FContainer->Properties(FIndex); }

TXMPProperty& TXMPPropertyEnumerator::Current() const { return ItemAt(FList, FIndex); }

bool TXMPPropertyEnumerator::MoveNext() {
  ++FIndex;
  return static_cast<std::size_t>(FIndex) < FList.size();
}

// ---------------------------------------------------------------------------------------------------
// TXMPProperty

TXMPProperty::TXMPProperty(TXMPSchema& schema, TXMPProperty* parentProperty)
    : FSchema(schema),
      FParentProperty(parentProperty),
      FNamespaceInfo(std::make_unique<TXMPNamespaceInfo>(parentProperty ? parentProperty->NamespaceInfo()
                                                                        : schema.NamespaceInfo())) {
  // Any change of the own record (by a caller) makes the namespace the property's own, so the
  // writer declares it; its inheriting sub-properties follow.
  FNamespaceInfo->SetOnChange([this](TXMPNamespaceInfo&) { NamespaceChanged(); });
}

void TXMPProperty::NamespaceChanged() {
  FInheritsNamespace = false;
  ApplyInheritedNamespace(*this);
  Changed();
}

void TXMPProperty::Changed() { FSchema.Changed(); }

void TXMPProperty::SetName(const std::string& name) {
  if (name == FName) return;
  if (name.empty()) throw EAssertionFailed(SAssertionFailed);
  CheckXMPText(name);
  FName = name;
  Changed();
}

void TXMPProperty::SetKind(TXMPPropertyKind kind) {
  if (kind == FKind) return;
  if (kind > pkSequence) throw EAssertionFailed(SAssertionFailed);
  if (kind == pkSimple) {
    SetSubPropertyCount(0);
  } else {
    for (int i = SubPropertyCount() - 1; i >= 0; --i) {
      TXMPProperty& item = *FSubProperties[static_cast<std::size_t>(i)];
      if (kind == pkBag || kind == pkSequence)
        item.FName.clear();
      else if (item.FName.empty())
        item.FName = "SubProp" + std::to_string(i);
    }
  }
  FKind = kind;
  if (kind != pkSequence) FAlternativeArray = false;
  Changed();
}

void TXMPProperty::SetAlternativeArray(bool value) {
  if (value == FAlternativeArray) return;
  if (value && FKind != pkSequence) SetKind(pkSequence);
  FAlternativeArray = value;
  Changed();
}

void TXMPProperty::SetSubPropertyCount(int count) {
  if (count < 0) count = 0;
  if (count == SubPropertyCount()) return;
  if (!SupportsSubProperties()) throw EInvalidXMPOperation(SSubPropertiesNotSupported);
  if (count < SubPropertyCount()) {
    FSubProperties.resize(static_cast<std::size_t>(count));
  } else {
    for (int i = SubPropertyCount(); i < count; ++i) {
      auto item = std::make_unique<TXMPProperty>(FSchema, this);
      if (NamedSubProperties()) item->FName = "SubProp" + std::to_string(i);
      FSubProperties.push_back(std::move(item));
    }
  }
  Changed();
}

TXMPProperty& TXMPProperty::AddSubProperty(const std::string& name) {
  if (!SupportsSubProperties()) throw EInvalidXMPOperation(SSubPropertiesNotSupported);
  if (NamedSubProperties() && name.empty()) throw EInvalidXMPOperation(SSubPropertiesMustBeNamed);
  if (NamedSubProperties()) CheckXMPText(name);
  auto item = std::make_unique<TXMPProperty>(FSchema, this);
  if (NamedSubProperties()) item->FName = name;
  TXMPProperty& result = *item;
  FSubProperties.push_back(std::move(item));
  Changed();
  return result;
}

bool TXMPProperty::FindSubProperty(std::string_view name, TXMPProperty*& property) const {
  for (auto it = FSubProperties.rbegin(); it != FSubProperties.rend(); ++it) {
    if ((*it)->FName == name) {
      property = it->get();
      return true;
    }
  }
  property = nullptr;
  return false;
}

TXMPProperty& TXMPProperty::FindOrAddSubProperty(const std::string& name) {
  TXMPProperty* property;
  if (FindSubProperty(name, property)) return *property;
  return AddSubProperty(name);
}

bool TXMPProperty::RemoveSubProperty(std::string_view name) {
  for (auto it = FSubProperties.begin(); it != FSubProperties.end(); ++it) {
    if ((*it)->FName == name) {
      FSubProperties.erase(it);
      Changed();
      return true;
    }
  }
  return false;
}

void TXMPProperty::DeleteSubProperty(int index) {
  if (index < 0 || index >= SubPropertyCount())
    throw Zorp::Base::EListError(Zorp::Base::Format(SListIndexError, index));
  FSubProperties.erase(FSubProperties.begin() + index);
  Changed();
}

std::string TXMPProperty::ReadValue(const std::string& defaultValue) {
  switch (FKind) {
    case pkSimple:
      return FValue.empty() ? defaultValue : FValue;
    case pkLangAlternative:
      return FindOrAddSubProperty("x-default").ReadValue(defaultValue);
    case pkBag:
    case pkSequence: {
      if (FSubProperties.empty()) return defaultValue;
      if (FSubProperties.size() == 1) return FSubProperties.front()->ReadValue(defaultValue);
      std::string result;
      for (std::size_t i = 0; i < FSubProperties.size(); ++i) {
        if (i > 0) result += ',';
        result += FSubProperties[i]->ReadValue();
      }
      return result;
    }
    case pkStructure:
      return defaultValue;
  }
  return defaultValue;
}

void TXMPProperty::WriteValue(const std::string& text) {
  CheckXMPText(text);
  switch (FKind) {
    case pkSimple:
      if (text != FValue) {
        FValue = text;
        Changed();
      }
      return;
    case pkStructure:
      throw EInvalidXMPOperation(SCannotWriteSingleValueToStructureProperty);
    case pkLangAlternative:
      FindOrAddSubProperty("x-default").WriteValue(text);
      return;
    case pkBag:
    case pkSequence: {
      std::vector<std::string> items;
      std::size_t start = 0;
      for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ',' || text[i] == ';') {
          items.push_back(text.substr(start, i - start));
          start = i + 1;
        }
      }
      if (start < text.size()) items.push_back(text.substr(start));
      SetSubPropertyCount(static_cast<int>(items.size()));
      for (std::size_t i = 0; i < items.size(); ++i) FSubProperties[i]->WriteValue(items[i]);
      return;
    }
  }
}

void TXMPProperty::UpdateSubProperty(const std::string& name, TXMPPropertyKind kind, const std::string& text) {
  const TXMPWritePolicy policy = FSchema.Owner().WritePolicy();
  if (policy == wpRemove || text.empty()) {
    RemoveSubProperty(name);
    return;
  }
  CheckXMPText(name);
  CheckXMPText(text);
  TXMPProperty* item;
  if (!FindSubProperty(name, item)) {
    if (policy == wpUpdateExistingOnly) return;
    if (FKind == pkSimple || FKind == pkBag || FKind == pkSequence) SetKind(pkStructure);
    item = &AddSubProperty(name);
  }
  item->SetKind(kind);
  item->WriteValue(text);
}

void TXMPProperty::UpdateSubProperty(const std::string& name, int value) {
  UpdateSubProperty(name, pkSimple, std::to_string(value));
}

void TXMPProperty::UpdateSubProperty(const std::string& name, bool value) {
  UpdateSubProperty(name, pkSimple, value ? "True" : "False");
}

TXMPProperty& TXMPProperty::Properties(int index) const { return ItemAt(FSubProperties, index); }

std::shared_ptr<IXMPPropertyEnumerator> TXMPProperty::GetEnumerator() const {
  return std::make_shared<TXMPPropertyEnumerator>(FSubProperties);
}

// ---------------------------------------------------------------------------------------------------
// TXMPSchema

TXMPSchema::TXMPSchema(TXMPPacket& owner, const std::string& uri) : FOwner(owner) {
  TXMPNamespaceKind kind;
  if (TryFindXMPNamespace(uri, kind))
    FNamespaceInfo = std::make_unique<TXMPNamespaceInfo>(kind);
  else
    FNamespaceInfo = std::make_unique<TXMPNamespaceInfo>(std::string(), uri);
  FNamespaceInfo->SetOnChange([this](TXMPNamespaceInfo&) { NamespaceChanged(); });
}

void TXMPSchema::NamespaceChanged() {
  ApplyInheritedNamespace(*this);
  if (!FLoadingProperty) Changed();
}

void TXMPSchema::Changed() { FOwner.Changed(true); }

TXMPProperty& TXMPSchema::AddProperty(const std::string& name) {
  if (FNamespaceInfo->PreferredPrefix().empty()) throw EInvalidXMPOperation(SPreferredPrefixMustBeSet);
  CheckXMPText(name);
  FProperties.push_back(std::make_unique<TXMPProperty>(*this, nullptr));
  TXMPProperty& property = *FProperties.back();
  if (!name.empty())
    property.SetName(name);
  else
    Changed();
  return property;
}

bool TXMPSchema::FindProperty(std::string_view name, TXMPProperty*& property) const {
  for (const auto& item : FProperties) {
    if (item->Name() == name) {
      property = item.get();
      return true;
    }
  }
  property = nullptr;
  return false;
}

bool TXMPSchema::RemoveProperty(const std::string& name) { return RemoveProperties({name}); }

bool TXMPSchema::RemoveProperties(const std::vector<std::string>& names) {
  bool removed = false;
  for (std::size_t i = FProperties.size(); i-- > 0;) {
    if (std::find(names.begin(), names.end(), FProperties[i]->Name()) != names.end()) {
      FProperties.erase(FProperties.begin() + static_cast<std::ptrdiff_t>(i));
      removed = true;
    }
  }
  if (removed) Changed();
  return removed;
}

TXMPProperty& TXMPSchema::Properties(int index) const { return ItemAt(FProperties, index); }

std::shared_ptr<IXMPPropertyEnumerator> TXMPSchema::GetEnumerator() const {
  return std::make_shared<TXMPPropertyEnumerator>(FProperties);
}

// ---------------------------------------------------------------------------------------------------
// TXMPPacket

TXMPPacket::TXMPPacket() = default;

TXMPPacket::~TXMPPacket() {
  // Schemas go first and without notification: nothing may call back into a dying packet.
  FOnChange = nullptr;
  FSchemas.clear();
}

void TXMPPacket::SetAboutAttributeValue(const std::string& value) {
  if (value == FAboutAttributeValue) return;
  CheckXMPText(value);
  FAboutAttributeValue = value;
  Changed(true);
}

const std::string& TXMPPacket::RawXML() const {
  if (FRawXML.empty()) FRawXML = Detail::SerializeXMPPacket(*this);
  return FRawXML;
}

void TXMPPacket::Changed(bool resetRawXML) {
  if (resetRawXML) FRawXML.clear();
  if (FOnChange) FOnChange(*this);
}

void TXMPPacket::DoLoadError(Zorp::Base::TStream& stream) {
  if (FOnLoadError)
    FOnLoadError(*this, stream);
  else
    throw EInvalidXMPPacket(SInvalidXMPPacket);
}

std::size_t TXMPPacket::LowerBound(std::string_view uri) const {
  const auto it =
      std::lower_bound(FSchemas.begin(), FSchemas.end(), uri,
                       [](const TSchemaEntry& entry, std::string_view u) { return CompareText(entry.URI, u) < 0; });
  return static_cast<std::size_t>(it - FSchemas.begin());
}

TXMPSchema& TXMPPacket::Schemas(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= FSchemas.size())
    throw EListError(Zorp::Base::Format(SListIndexError, index));
  return *FSchemas[static_cast<std::size_t>(index)].Schema;
}

bool TXMPPacket::FindSchema(std::string_view uri, TXMPSchema*& schema) const {
  const std::size_t index = LowerBound(uri);
  if (index < FSchemas.size() && CompareText(FSchemas[index].URI, uri) == 0) {
    schema = FSchemas[index].Schema.get();
    return true;
  }
  schema = nullptr;
  return false;
}

bool TXMPPacket::FindSchema(TXMPNamespaceKind kind, TXMPSchema*& schema) const {
  return FindSchema(XMPNamespaceURI(kind), schema);
}

TXMPSchema& TXMPPacket::FindOrAddSchema(const std::string& uri) {
  const std::size_t index = LowerBound(uri);
  if (index < FSchemas.size() && CompareText(FSchemas[index].URI, uri) == 0) return *FSchemas[index].Schema;
  CheckXMPText(uri);
  auto schema = std::make_unique<TXMPSchema>(*this, uri);
  TXMPSchema& result = *schema;
  FSchemas.insert(FSchemas.begin() + static_cast<std::ptrdiff_t>(index), TSchemaEntry{uri, std::move(schema)});
  return result;
}

void TXMPPacket::RemoveProperty(TXMPNamespaceKind schemaKind, const std::string& name) {
  TXMPSchema* schema;
  if (FindSchema(schemaKind, schema)) schema->RemoveProperty(name);
}

void TXMPPacket::RemoveProperties(TXMPNamespaceKind schemaKind, const std::vector<std::string>& names) {
  TXMPSchema* schema;
  if (FindSchema(schemaKind, schema)) schema->RemoveProperties(names);
}

void TXMPPacket::UpdatePropertyCore(TXMPNamespaceKind schemaKind, const std::string& name, const std::string& text,
                                    TXMPPropertyKind propertyKind, TXMPWritePolicy policy) {
  if (policy == wpRemove || text.empty()) {
    RemoveProperty(schemaKind, name);
    return;
  }
  TXMPSchema* schema;
  if (policy == wpUpdateOrAdd)
    schema = &FindOrAddSchema(XMPNamespaceURI(schemaKind));
  else if (!FindSchema(schemaKind, schema))
    return;
  TXMPProperty* property;
  if (!schema->FindProperty(name, property)) {
    if (policy != wpUpdateOrAdd) return;
    property = &schema->AddProperty(name);
  }
  property->SetKind(propertyKind);
  property->WriteValue(Zorp::Base::TrimRight(text));
}

void TXMPPacket::CheckUpdateText(std::string_view text) const {
  // What an update stores: nothing under wpRemove, else the text without its trailing blanks.
  if (FWritePolicy != wpRemove) CheckXMPText(Zorp::Base::TrimRight(text));
}

void TXMPPacket::UpdateProperty(TXMPNamespaceKind schemaKind, const std::string& name, const std::string& text,
                                TXMPPropertyKind propertyKind) {
  if (FWritePolicy != wpRemove) CheckXMPText(name);
  CheckUpdateText(text);
  UpdatePropertyCore(schemaKind, name, text, propertyKind, FWritePolicy);
  // Some writers keep lower-case twins of the TIFF names ("make" beside "Make"); an existing twin
  // follows the value, but is never created.
  if (schemaKind == xnTIFF && propertyKind == pkSimple && !name.empty() && !(name[0] >= 'a' && name[0] <= 'z')) {
    UpdatePropertyCore(schemaKind, Zorp::Base::LowerCase(name), text, propertyKind,
                       FWritePolicy == wpUpdateOrAdd ? wpUpdateExistingOnly : FWritePolicy);
  }
}

void TXMPPacket::UpdateProperty(TXMPNamespaceKind schemaKind, const std::string& name, int value) {
  UpdateProperty(schemaKind, name, std::to_string(value), pkSimple);
}

namespace {

// The local offset from UTC, in minutes, at the given local date-time (0 when it cannot be told).
int LocalOffsetMinutes(Zorp::Base::TDateTime value) {
  const Zorp::Base::TDateTimeParts parts = Zorp::Base::DecodeDateTime(value);
  std::tm local{};
  local.tm_year = parts.Year - 1900;
  local.tm_mon = parts.Month - 1;
  local.tm_mday = parts.Day;
  local.tm_hour = parts.Hour;
  local.tm_min = parts.Minute;
  local.tm_sec = parts.Second;
  local.tm_isdst = -1;
  if (std::mktime(&local) == static_cast<std::time_t>(-1)) return 0;
  return static_cast<int>(local.tm_gmtoff / 60);
}

}  // namespace

void TXMPPacket::UpdateDateTimeProperty(TXMPNamespaceKind schemaKind, const std::string& name,
                                        Zorp::Base::TDateTime value, bool applyLocalBias) {
  if (value == 0) {
    RemoveProperty(schemaKind, name);
    return;
  }
  std::string text =
      Zorp::Base::FormatDateTime("yyyy'-'mm'-'dd'T'hh':'nn':'ss'.'zzz", value, Zorp::Base::InvariantFormatSettings());
  const int offset = applyLocalBias ? LocalOffsetMinutes(value) : 0;
  if (offset == 0)
    text += 'Z';
  else
    text += Zorp::Base::Format("%c%.2d:%.2d", offset < 0 ? '-' : '+', std::abs(offset) / 60, std::abs(offset) % 60);
  UpdateProperty(schemaKind, name, text, pkSimple);
}

void TXMPPacket::UpdateLocalDateTimeProperty(TXMPNamespaceKind schemaKind, const std::string& name,
                                             Zorp::Base::TDateTime value, const std::string& offset,
                                             bool keepFraction) {
  if (value == 0) {
    RemoveProperty(schemaKind, name);
    return;
  }
  // The value it replaces lends its zone (when no offset is given) and, when asked, its fraction.
  TXMPDate old;
  TXMPSchema* schema = nullptr;
  TXMPProperty* property = nullptr;
  const bool hadDate = FindSchema(schemaKind, schema) && schema->FindProperty(name, property) &&
                       property->Kind() == pkSimple && TryParseXMPDate(Zorp::Base::Trim(property->Value()), old);
  std::string text =
      Zorp::Base::FormatDateTime("yyyy'-'mm'-'dd'T'hh':'nn':'ss", value, Zorp::Base::InvariantFormatSettings());
  if (keepFraction) {
    if (hadDate && !old.Fraction.empty()) text += "." + old.Fraction;
  } else if (const int milliseconds = Zorp::Base::DecodeDateTime(value).Millisecond; milliseconds != 0) {
    text += Zorp::Base::Format(".%.3d", milliseconds);
  }
  text += !offset.empty() ? offset : hadDate ? old.Zone : std::string();
  UpdateProperty(schemaKind, name, text, pkSimple);
}

void TXMPPacket::ClearWithoutNotification() {
  FAboutAttributeValue.clear();
  FSchemas.clear();
}

void TXMPPacket::Clear() {
  if (FSchemas.empty() && FAboutAttributeValue.empty()) return;
  ClearWithoutNotification();
  Changed(true);
}

void TXMPPacket::Assign(const TXMPPacket* source) {
  if (source == nullptr) {
    Clear();
    return;
  }
  const bool writeSegmentHeader = source->FWriteSegmentHeader;
  SetRawXML(source->RawXML());
  FWriteSegmentHeader = writeSegmentHeader;
}

void TXMPPacket::SetRawXML(std::string text) {
  if (text.empty()) {
    Clear();
    return;
  }
  Zorp::Base::TUserMemoryStream stream(text.data(), static_cast<std::int64_t>(text.size()));
  LoadFromStream(stream);
}

void TXMPPacket::LoadFromStream(Zorp::Base::TStream& stream) {
  if (!TryLoadFromStream(stream)) DoLoadError(stream);
}

bool HasXMPSignature(Zorp::Base::TStream& stream) {
  const std::int64_t position = stream.Position();
  char buffer[XMPSignature.size()];
  const std::int64_t count = stream.Read(buffer, static_cast<std::int64_t>(sizeof buffer));
  stream.SetPosition(position);
  return count == static_cast<std::int64_t>(sizeof buffer) && std::string_view(buffer, sizeof buffer) == XMPSignature;
}

// ---------------------------------------------------------------------------------------------------
// Listing

namespace {

std::string ShownValue(const std::string& value) {
  std::string result;
  result.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\r') {
      if (i + 1 < value.size() && value[i + 1] == '\n') ++i;
      result += "\\n";
    } else if (value[i] == '\n') {
      result += "\\n";
    } else {
      result += value[i];
    }
  }
  return result;
}

void ListValues(const IXMPPropertyContainer& container, const std::string& path, int depth,
                std::vector<TXMPListedValue>& lines) {
  if (depth > Detail::MaxXMPDepth) return;
  const auto* parent = dynamic_cast<const TXMPProperty*>(&container);
  int index = 0;
  for (const TXMPProperty& property : container) {
    ++index;
    std::string itemPath;
    if (parent != nullptr && parent->Kind() == pkLangAlternative)
      itemPath = path + "[" + property.Name() + "]";
    else if (parent != nullptr && (parent->Kind() == pkBag || parent->Kind() == pkSequence))
      itemPath = path + "[" + std::to_string(index) + "]";
    else
      itemPath =
          (path.empty() ? "" : path + "/") +
          (property.NamespaceInfo().PreferredPrefix().empty() ? "" : property.NamespaceInfo().PreferredPrefix() + ":") +
          property.Name();
    if (property.Kind() == pkSimple)
      lines.push_back({itemPath, ShownValue(property.Value())});
    else
      ListValues(property, itemPath, depth + 1, lines);
  }
}

}  // namespace

std::vector<TXMPListedValue> ListXMPPathsAndValues(const TXMPPacket& packet) {
  std::vector<TXMPListedValue> values;
  for (const TXMPSchema& schema : packet) ListValues(schema, std::string(), 0, values);
  return values;
}

std::vector<std::string> ListXMPValues(const TXMPPacket& packet) {
  std::vector<std::string> lines;
  for (const TXMPListedValue& value : ListXMPPathsAndValues(packet)) lines.push_back(value.Path + " = " + value.Value);
  return lines;
}

}  // namespace Zorp::Exif
