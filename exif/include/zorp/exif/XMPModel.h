#pragma once
// The XMP property model: schemas, properties and sub-properties, with their iterators and
// enumerators.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zorp/base/Exceptions.h"
#include "zorp/exif/XMPNamespaces.h"

namespace Zorp::Exif {

class TXMPPacket;
class TXMPSchema;
class TXMPProperty;
class IXMPPropertyContainer;
namespace Detail {
class TXMPModelLoader;  // builds the model from a parsed packet (XMPReader.cpp)
}  // namespace Detail

ZORP_DECLARE_EXCEPTION(EInvalidXMPOperation, Zorp::Base::EInvalidOperation);  // misuse of the tree

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
  // Removes the item at index (an unnamed bag or sequence item, say); EListError for a bad index.
  void DeleteSubProperty(int index);

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
  friend class Detail::TXMPModelLoader;
  void NamespaceChanged();

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

  void Changed();

  // IXMPPropertyContainer
  TXMPNamespaceInfo& NamespaceInfo() const override { return *FNamespaceInfo; }
  TXMPProperty& Properties(int index) const override;
  int PropertyCount() const override { return static_cast<int>(FProperties.size()); }
  std::shared_ptr<IXMPPropertyEnumerator> GetEnumerator() const override;

 private:
  friend class Detail::TXMPModelLoader;
  void NamespaceChanged();

  TXMPPacket& FOwner;
  bool FLoadingProperty = false;
  std::unique_ptr<TXMPNamespaceInfo> FNamespaceInfo;
  TXMPPropertyList FProperties;
};

}  // namespace Zorp::Exif
