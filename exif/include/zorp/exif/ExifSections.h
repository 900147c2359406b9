#pragma once
// Exif sections: the in-memory form of one image file directory, an ordered list of owned tags with
// typed getters and setters, the edit policy that keeps a file's layout fixed or lets it grow, and
// the notifications that reach the container.

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zorp/base/DateTime.h"
#include "zorp/exif/ExifTags.h"
#include "zorp/exif/TiffReader.h"

namespace Zorp::Exif {

enum TExifSectionKind : std::uint8_t {
  skNone = 0,       // no slot in a container; changes are not passed on
  skPrimary = 1,    // IFD0
  skExif = 2,       // the Exif sub-IFD
  skInterop = 3,    // the Interoperability IFD
  skGps = 4,        // the GPS IFD
  skThumbnail = 5,  // IFD1
  skMakerNote = 6   // the IFD inside the MakerNote tag
};

// A 32-bit value that may be missing (Value is then 0).
struct TOptionalLongInt {
  std::int32_t Value = 0;
  bool Missing = true;
};
struct TOptionalLongWord {
  std::uint32_t Value = 0;
  bool Missing = true;
};

// What word getters return for a missing value.
inline constexpr std::int32_t MissingWord = 0x10000;

class TExifSection;

// What a section needs from the container that owns it.
class TExifSectionOwner {
 public:
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  // A section changed: the container fires its change event or defers it during an update.
  virtual void SectionChanged(TExifSection* section) = 0;
  // The MakerNote tag changed or went away: the container drops its MakerNote object.
  virtual void ResetMakerNote() = 0;
  virtual bool EnforceASCII() const = 0;
  virtual bool AlwaysWritePreciseTimes() const = 0;
  // The container's section of a kind (nullptr if it has none).
  virtual TExifSection* Section(TExifSectionKind kind) = 0;

 protected:
  ~TExifSectionOwner() = default;
};

// Runs body between target's BeginUpdate and EndUpdate (EndUpdate also when body raises), so that
// the changes within notify once; without a target body just runs.
template <typename TUpdatable, typename F>
void WithinUpdate(TUpdatable* target, F&& body) {
  if (target == nullptr) {
    body();
    return;
  }
  target->BeginUpdate();
  try {
    body();
  } catch (...) {
    target->EndUpdate();
    throw;
  }
  target->EndUpdate();
}

// Walks a section's tags by index. Deleting the current tag during the walk does not skip the tag
// after it: the index steps on only when the current tag is still where it was.
class TExifSectionEnumerator {
 public:
  explicit TExifSectionEnumerator(const TExifSection& section) : FSection(&section) {}
  bool MoveNext();
  TExifTag* Current() const { return FCurrent; }

 private:
  const TExifSection* FSection;
  std::int32_t FIndex = 0;
  TExifTag* FCurrent = nullptr;
};

// The range-for face of the enumerator.
class TExifSectionIterator {
 public:
  using value_type = TExifTag*;
  using difference_type = std::ptrdiff_t;
  explicit TExifSectionIterator(const TExifSection& section) : FEnumerator(section) { FValid = FEnumerator.MoveNext(); }
  TExifTag* operator*() const { return FEnumerator.Current(); }
  TExifSectionIterator& operator++() {
    FValid = FEnumerator.MoveNext();
    return *this;
  }
  bool operator==(std::default_sentinel_t) const { return !FValid; }

 private:
  TExifSectionEnumerator FEnumerator;
  bool FValid = false;
};

// One directory. A TExifSection keeps the layout of the file it was loaded from: it refuses new
// tags, renamed tags and values that outgrow the room they had. TExtendableExifSection allows them.
class TExifSection {
 public:
  TExifSection(TExifSectionOwner* owner, TExifSectionKind kind);
  virtual ~TExifSection();
  TExifSection(const TExifSection&) = delete;
  TExifSection& operator=(const TExifSection&) = delete;

  // True for sections that accept structural edits.
  virtual bool IsExtendable() const { return false; }
  virtual const char* ClassName() const { return "TExifSection"; }

  std::int64_t FirstTagHeaderOffset() const { return FFirstTagHeaderOffset; }
  TExifSectionKind Kind() const { return FKind; }
  TExifSectionLoadErrors LoadErrors() const { return FLoadErrors; }
  bool Modified() const { return FModified; }
  void SetModified(bool value) { FModified = value; }
  TExifSectionOwner* Owner() const { return FOwner; }

  std::int32_t Count() const { return static_cast<std::int32_t>(FTags.size()); }
  // The tag at index; an index outside the list raises EListError.
  TExifTag* Tags(std::int32_t index) const {
    if (index < 0 || index >= Count()) RaiseIndexError(index);
    return FTags[static_cast<std::size_t>(index)].get();
  }
  // Position of tag in the list, -1 if it is not there.
  std::int32_t IndexOf(const TExifTag* tag) const;

  TExifSectionEnumerator GetEnumerator() const { return TExifSectionEnumerator(*this); }
  TExifSectionIterator begin() const { return TExifSectionIterator(*this); }
  std::default_sentinel_t end() const { return {}; }

  // Forgets the load errors and frees every tag.
  void Clear();
  // Replaces the tags with copies of source's (nullptr only clears).
  void Assign(const TExifSection* source);
  // Reads the IFD at ifdOffset (relative to the TIFF header) and loads it.
  void Load(TTiffReader& reader, std::int64_t ifdOffset, std::int64_t dataOffsetAdjustment = 0);
  // Replaces the tags with those of an IFD as read; Modified is false afterwards.
  void LoadFromIfd(TTiffReader& reader, const TIfdInfo& ifd);

  bool FindIndex(TExifTagID id, std::int32_t& index) const;
  bool Find(TExifTagID id, TExifTag*& tag) const;
  TExifTag* Find(TExifTagID id) const;
  bool TagExists(TExifTagID id, TTiffDataTypes validTypes, std::int32_t minElementCount = 1) const;

  // Adds a zero-filled tag in ID order (extendable sections only; the ID must be new).
  TExifTag* AddTag(TExifTagID id, TTiffDataType dataType, std::int32_t elementCount);
  // Finds or adds the tag, then gives it the type, count and bytes (data holds the whole value).
  TExifTag* AddOrUpdateTag(TExifTagID id, TTiffDataType dataType, std::int32_t elementCount, const void* data);
  bool Remove(TExifTagID id);
  void Remove(std::span<const TExifTagID> ids);
  void Remove(std::initializer_list<TExifTagID> ids) { Remove(std::span<const TExifTagID>(ids.begin(), ids.size())); }
  // Frees the first padding tag; true if there was one.
  bool RemovePaddingTag();

  // Typed reading: an absent tag, a type not accepted or an index outside the elements gives false,
  // the default or a missing value. These never raise.
  bool TryGetByteValue(TExifTagID id, std::int32_t index, std::uint8_t& value) const;
  bool TryGetWordValue(TExifTagID id, std::int32_t index, std::uint16_t& value) const;
  bool TryGetLongValue(TExifTagID id, std::int32_t index, std::uint32_t& value) const;
  bool TryGetLongValue(TExifTagID id, std::int32_t index, std::int32_t& value) const;
  std::int32_t GetWordValue(TExifTagID id, std::int32_t index) const;
  TOptionalLongInt GetLongIntValue(TExifTagID id, std::int32_t index) const;
  TOptionalLongWord GetLongWordValue(TExifTagID id, std::int32_t index) const;
  TTiffRational GetFractionValue(TExifTagID id, std::int32_t index) const;
  TTiffRational GetFractionValue(TExifTagID id, std::int32_t index, const TTiffRational& defaultValue) const;
  bool TryGetStringValue(TExifTagID id, std::string& value) const;
  std::string GetStringValue(TExifTagID id, const std::string& defaultValue = {}) const;
  bool TryGetWindowsStringValue(TExifTagID id, std::string& value) const;
  std::string GetWindowsStringValue(TExifTagID id, const std::string& defaultValue = {}) const;
  // The date-time text of id, plus the sub-second text subSecsID of the owner's Exif section.
  Zorp::Base::TDateTime GetDateTimeValue(TExifTagID id, TExifTagID subSecsID,
                                         Zorp::Base::TDateTime defaultValue = 0) const;

  // Typed writing.
  void SetByteValue(TExifTagID id, std::int32_t index, std::uint8_t value);
  void SetWordValue(TExifTagID id, std::int32_t index, std::uint16_t value);
  void SetLongWordValue(TExifTagID id, std::int32_t index, std::uint32_t value);
  // 0/0 clears the element: the last one is cut off (the tag freed when it was the only one).
  void SetFractionValue(TExifTagID id, std::int32_t index, const TTiffRational& value);
  // Empty text removes the tag; non-ASCII text raises ENotOnlyASCIIError when the owner enforces ASCII.
  void SetStringValue(TExifTagID id, std::string_view value);
  // Raises what SetStringValue raises for the text itself, changing nothing.
  void CheckStringValue(std::string_view value) const;
  void SetWindowsStringValue(TExifTagID id, std::string_view value);
  // 0 removes the date tag and its sub-second tag. A value outside years 1..9999 raises EConvertError
  // "Invalid argument to date encode"; whatever is refused, neither tag changes.
  void SetDateTimeValue(TExifTagID id, TExifTagID subSecsID, Zorp::Base::TDateTime value);
  // Imposes dataType on the tag (growing it to hold index), then stores value's element-size bytes
  // at index; notifies only when the element's bytes change. A negative index raises EAssertionFailed.
  void SetArrayElement(TExifTagID id, TTiffDataType dataType, std::int32_t index, const void* value);

 protected:
  // The veto point of a planned tag change.
  void TagChanging(TExifTag& tag, TExifTagID newID, TTiffDataType newDataType, std::int32_t newElementCount,
                   bool withNewData);
  // A tag changed: a renamed tag moves to its place in ID order; the section and owner are told.
  void TagChanged(TExifTag& tag, TExifTagChangeKind kind);
  // Marks the section modified and tells the owner.
  void Changed();
  // Takes the tag at index out of the list and frees it when freeTag.
  void DeleteTag(std::int32_t index, bool freeTag);

 private:
  friend class TExifTag;

  [[noreturn]] static void RaiseIndexError(std::int32_t index);
  // The tag if it exists, has one of the types and holds the element index.
  const TExifTag* FindElement(TExifTagID id, std::int32_t index, TTiffDataTypes types) const;
  // Frees a tag of this section.
  void FreeTag(TExifTag* tag);
  // Moves the tag at index to the place its ID belongs.
  void Reposition(std::int32_t index);

  std::int64_t FFirstTagHeaderOffset = 0;
  TExifSectionKind FKind;
  TExifSectionLoadErrors FLoadErrors;
  bool FModified = false;
  TExifSectionOwner* FOwner;
  std::vector<std::unique_ptr<TExifTag>> FTags;  // ascending by ID
};

inline bool TExifSectionEnumerator::MoveNext() {
  const std::int32_t count = FSection->Count();
  // Step past the current tag only when it is still where it was: if it was freed, the next tag
  // has moved into its place.
  if (FCurrent != nullptr && FIndex < count && FSection->Tags(FIndex) == FCurrent) ++FIndex;
  if (FIndex < count) {
    FCurrent = FSection->Tags(FIndex);
    return true;
  }
  FCurrent = nullptr;
  return false;
}

// A section that accepts new tags, renames and growth.
class TExtendableExifSection : public TExifSection {
 public:
  using TExifSection::TExifSection;
  bool IsExtendable() const override { return true; }
  const char* ClassName() const override { return "TExtendableExifSection"; }
};

}  // namespace Zorp::Exif
