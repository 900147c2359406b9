#pragma once
// MakerNotes: camera makers' private data inside the Exif MakerNote tag. A registry of MakerNote
// classes, each with a format test, recognises the layout when an Exif block is loaded; the chosen
// class reads the private directory into the container's MakerNote section on first use. Both see
// the container only through a TMakerNoteContext, which the container builds.

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

// What the MakerNote classes read of the container; TCustomExifData::MakerNoteContext() builds it.
struct TMakerNoteContext {
  std::string Make;   // IFD0 camera make, as CameraMake() reads it
  std::string Model;  // IFD0 camera model, as CameraModel() reads it
  TByteOrder ByteOrder = boLittleEndian;  // of the main Exif block
  const TExifTag& Tag;                    // the MakerNote tag
  // What the offset schema 0xEA1D says offsets from the main header are off by (0 without one).
  std::int64_t OffsetAdjustment = 0;
  // The loaded Exif block from its TIFF header on, while the tag still holds the bytes it was read
  // from there (empty otherwise). Many cameras declare a MakerNote shorter than the data its entries
  // use; their values are read from the block around it, as the writer keeps them.
  std::span<const std::uint8_t> Block = {};
};

// A MakerNote "class": its name, its format test and its factory. Classes are compared by address.
struct TExifMakerNoteClass {
  const char* Name;
  // Whether the MakerNote tag has this class's layout; headerSize is what precedes the directory.
  bool (*FormatIsOK)(const TMakerNoteContext& context, std::int32_t& headerSize);
  // Makes the object over the container's MakerNote section and reads the directory into it;
  // context is null when the container has no MakerNote tag.
  std::unique_ptr<TExifMakerNote> (*Create)(TExifSection& makerNoteSection, const TMakerNoteContext* context);
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
  // How far the values of a MakerNote that other software moved were found off their offsets
  // (added to every value offset when reading; 0 when it was not moved).
  std::int64_t BaseShift() const { return FBaseShift; }
  TExifSection& Tags() const { return *FTags; }

 protected:
  explicit TExifMakerNote(TExifSection& section) : FTags(&section) {}
  // Adjusts the byte order and offset base before the directory is read; the base changes nothing.
  virtual void GetIFDInfo(const TMakerNoteContext& context, TByteOrder& byteOrder,
                          TMakerNoteOffsetBase& dataOffsetsType);
  // For classes that read their MakerNote without ReadDirectory.
  void SetByteOrder(TByteOrder value) { FByteOrder = value; }
  // Reads the private directory (there must be a MakerNote tag that still passes the class's format
  // test, else EInvalidMakerNoteFormat), retrying in the other byte order when the first read looks wrong.
  void ReadDirectory(const TMakerNoteContext* context);

 public:
  // The factory of the registered classes: the object over the section, its directory read.
  template <typename T>
  static std::unique_ptr<TExifMakerNote> CreateAndRead(TExifSection& section, const TMakerNoteContext* context) {
    std::unique_ptr<TExifMakerNote> result(new T(section));
    result->ReadDirectory(context);
    return result;
  }

 private:
  TMakerNoteOffsetBase FDataOffsetsType = obMainHeader;
  TByteOrder FByteOrder = boLittleEndian;
  std::int64_t FBaseShift = 0;
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
extern const TExifMakerNoteClass TOlympusMakerNote;
extern const TExifMakerNoteClass TFujifilmMakerNote;
extern const TExifMakerNoteClass TCasioMakerNote;       // type 1, headerless
extern const TExifMakerNoteClass TCasioType2MakerNote;  // "QVC"
extern const TExifMakerNoteClass TPentaxMakerNote;
extern const TExifMakerNoteClass TRicohMakerNote;
extern const TExifMakerNoteClass TSamsungMakerNote;
extern const TExifMakerNoteClass TSigmaMakerNote;
extern const TExifMakerNoteClass TAppleMakerNote;
extern const TExifMakerNoteClass TKodakMakerNote;

// The registry (makernotes/Registry.cpp) in its order: the classes recognised by the camera make
// (Samsung, Casio type 1, Nikon type 2, Canon), then those recognised by a signature (Kodak's
// old records also by the make).
std::span<const TExifMakerNoteClass* const> MakerNoteClassList();

// The class for the context's MakerNote tag: the registry tried from the last entry to the first (a
// class is accepted for an UNDEFINED tag of more than one element whose format test passes), else
// headerless.
const TExifMakerNoteClass& RecognizeMakerNote(const TMakerNoteContext& context);

}  // namespace Zorp::Exif
