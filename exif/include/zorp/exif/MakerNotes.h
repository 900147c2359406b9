#pragma once
// MakerNotes: camera makers' private data inside the Exif MakerNote tag. A registry of MakerNote
// classes, each with a format test, recognises the layout when an Exif block is loaded; the chosen
// class reads the private directory into the container's MakerNote section on first use.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "zorp/exif/ExifSections.h"
#include "zorp/exif/ExifTags.h"

namespace Zorp::Exif {

// What the value offsets of a MakerNote directory count from.
enum TMakerNoteOffsetBase : std::uint8_t {
  obMainHeader = 0,      // the main Exif block's TIFF header, as the rest of the Exif data
  obMakerNoteStart = 1,  // the first byte of the MakerNote data
  obEmbeddedHeader = 2   // an embedded TIFF header ending 8 bytes before the directory
};

class TExifMakerNote;

// A MakerNote "class": its name, its format test and its factory. Classes are compared by address.
struct TExifMakerNoteClass {
  const char* Name;
  // Whether the MakerNote tag has this class's layout; headerSize is what precedes the directory.
  bool (*FormatIsOK)(const TExifTag& sourceTag, std::int32_t& headerSize);
  // Makes the object over the container's MakerNote section and reads the directory into it.
  std::unique_ptr<TExifMakerNote> (*Create)(TExifSection& makerNoteSection);
};

class TExifMakerNote {
 public:
  virtual ~TExifMakerNote() = default;
  TExifMakerNote(const TExifMakerNote&) = delete;
  TExifMakerNote& operator=(const TExifMakerNote&) = delete;

  virtual const TExifMakerNoteClass& ClassType() const = 0;
  const char* ClassName() const { return ClassType().Name; }
  TMakerNoteOffsetBase DataOffsetsType() const { return FDataOffsetsType; }
  TByteOrder ByteOrder() const { return FByteOrder; }
  TExifSection& Tags() const { return *FTags; }

 protected:
  explicit TExifMakerNote(TExifSection& section) : FTags(&section) {}
  // Adjusts the byte order and offset base before the directory is read; the base changes nothing.
  virtual void GetIFDInfo(const TExifTag& sourceTag, TByteOrder& byteOrder, TMakerNoteOffsetBase& dataOffsetsType);
  // Reads the private directory (the MakerNote tag must still pass the class's format test, else
  // EInvalidMakerNoteFormat), retrying in the other byte order when the first read looks wrong.
  void ReadDirectory();

 public:
  // The factory of the registered classes: the object over the section, its directory read.
  template <typename T>
  static std::unique_ptr<TExifMakerNote> CreateAndRead(TExifSection& section) {
    std::unique_ptr<TExifMakerNote> result(new T(section));
    result->ReadDirectory();
    return result;
  }

 private:
  TMakerNoteOffsetBase FDataOffsetsType = obMainHeader;
  TByteOrder FByteOrder = boLittleEndian;
  TExifSection* FTags;
};

// The classes. TUnrecognizedMakerNote never matches and reads nothing; THeaderlessMakerNote always
// matches and is the fallback; the others are in the registry.
extern const TExifMakerNoteClass TUnrecognizedMakerNote;
extern const TExifMakerNoteClass THeaderlessMakerNote;
extern const TExifMakerNoteClass TCanonMakerNote;
extern const TExifMakerNoteClass TNikonType1MakerNote;
extern const TExifMakerNoteClass TNikonType2MakerNote;
extern const TExifMakerNoteClass TNikonType3MakerNote;
extern const TExifMakerNoteClass TPanasonicMakerNote;
extern const TExifMakerNoteClass TSonyMakerNote;

// The registry in registration order: Nikon type 2, Canon, Sony, Nikon type 1, Nikon type 3, Panasonic.
std::span<const TExifMakerNoteClass* const> MakerNoteClassList();

// The class for a MakerNote tag: the registry tried from the last entry to the first (a class is
// accepted for an UNDEFINED tag of more than one element whose format test passes), else headerless.
const TExifMakerNoteClass& RecognizeMakerNote(const TExifTag& makerNoteTag);

}  // namespace Zorp::Exif
