#pragma once
// Typed views over Exif values that are spread over several tags or packed into one: the flash
// description, the four version tags, the three resolution triples, the ISO speed list and the GPS
// coordinates. The objects hold no value of their own: every read goes to the container's tags as
// they are now, every write changes the tags and then mirrors the value into the XMP packet.

#include <cstdint>
#include <string>

#include "zorp/exif/ExifPropertyTypes.h"
#include "zorp/exif/ExifSections.h"
#include "zorp/exif/ExifTags.h"
#include "zorp/exif/XMPUtils.h"

namespace Zorp::Exif {

class TCustomExifData;

// The copy protocol of the typed values: Assign takes any value object (or nullptr) and each class
// accepts the sources it knows; anything else raises EConvertError "Cannot assign a %s to a %s".
class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual const char* ClassName() const { return "TPersistent"; }
  virtual void Assign(const TPersistent* source);

 protected:
  TPersistent() = default;
  TPersistent(const TPersistent&) = default;
  TPersistent& operator=(const TPersistent&) = default;
  [[noreturn]] void AssignError(const TPersistent* source) const;
};

// The flash description: the stored flash value (SHORT tag 0x9209, a bit field) and the flash
// energy (RATIONAL tag 0xA20B), both in the Exif directory; mirrored into the "exif" Flash structure.
class TExifFlashInfo : public TPersistent {
 public:
  explicit TExifFlashInfo(TCustomExifData* owner) : FOwner(owner) {}
  TExifFlashInfo(const TExifFlashInfo&) = delete;
  TExifFlashInfo& operator=(const TExifFlashInfo&) = delete;
  const char* ClassName() const override { return "TExifFlashInfo"; }

  // Accepts a TExifFlashInfo or nullptr (which deletes both tags and both XMP properties).
  void Assign(const TPersistent* source) override;

  bool Fired() const;
  void SetFired(bool value);
  // True when the camera has a flash function (bit 5 clear).
  bool Present() const;
  void SetPresent(bool value);
  bool RedEyeReduction() const;
  void SetRedEyeReduction(bool value);
  TExifFlashMode Mode() const;
  void SetMode(TExifFlashMode value);
  TExifStrobeLight StrobeLight() const;
  void SetStrobeLight(TExifStrobeLight value);
  TTiffRational FlashEnergy() const;
  // 0/0 deletes a one-element tag and removes the XMP property.
  void SetFlashEnergy(const TTiffRational& value);
  // Neither a SHORT/SSHORT flash tag nor a RATIONAL/SRATIONAL energy tag is there.
  bool Missing() const;

 private:
  std::uint16_t StoredValue() const;
  // 0 deletes the tag and the XMP structure; any other value is stored and mirrored field by field.
  void SetStoredValue(std::uint16_t value);

  TCustomExifData* FOwner;
};

// A version tag of four bytes; major, minor and release are the bytes from the major position on,
// stored as ASCII digits or as raw numbers. Not mirrored into XMP.
class TCustomExifVersion : public TPersistent {
 public:
  TCustomExifVersion(const TCustomExifVersion&) = delete;
  TCustomExifVersion& operator=(const TCustomExifVersion&) = delete;
  const char* ClassName() const override { return "TCustomExifVersion"; }

  // Accepts any version (each side keeps its own encoding) or nullptr (which deletes the tag).
  void Assign(const TPersistent* source) override;

  // "2.21", always with a point; empty while Major is 0.
  std::string AsString() const;
  // Empty text deletes the tag. Otherwise the first character is the major digit, the second is
  // skipped whatever it is, then come the minor and release digits (0 where the text ends). A
  // character other than 0..9 in a digit position raises ERangeError and changes nothing.
  void SetAsString(const std::string& text);
  TExifVersionElement Major() const { return GetElement(0); }
  void SetMajor(TExifVersionElement value) { SetElement(0, value); }
  TExifVersionElement Minor() const { return GetElement(1); }
  void SetMinor(TExifVersionElement value) { SetElement(1, value); }
  TExifVersionElement Release() const { return GetElement(2); }
  void SetRelease(TExifVersionElement value) { SetElement(2, value); }
  bool Empty() const { return Major() == 0; }

  TExifSectionKind SectionKind() const { return FSectionKind; }
  TExifTagID TagID() const { return FTagID; }

 protected:
  struct TTagInfo {
    TExifSectionKind SectionKind;
    TExifTagID TagID;
    std::int32_t MajorIndex = 1;
    bool StoreAsChars = true;
    TTiffDataType TiffDataType = dtUndefined;
  };
  TCustomExifVersion(TCustomExifData* owner, const TTagInfo& info);

 private:
  TExifVersionElement GetElement(std::int32_t offset) const;
  void SetElement(std::int32_t offset, TExifVersionElement value);

  TCustomExifData* FOwner;
  std::int32_t FMajorIndex;
  TExifSectionKind FSectionKind;
  bool FStoreAsChars;
  TExifTagID FTagID;
  TTiffDataType FTiffDataType;
};

// Tag 0x9000 of the Exif directory, as characters ("0221").
class TExifVersion : public TCustomExifVersion {
 public:
  explicit TExifVersion(TCustomExifData* owner);
  const char* ClassName() const override { return "TExifVersion"; }
};

// Tag 0xA000 of the Exif directory, as characters.
class TFlashPixVersion : public TCustomExifVersion {
 public:
  explicit TFlashPixVersion(TCustomExifData* owner);
  const char* ClassName() const override { return "TFlashPixVersion"; }
};

// Tag 0x0000 of the GPS directory, as raw BYTEs from position 0 (2, 2, 0, 0).
class TGPSVersion : public TCustomExifVersion {
 public:
  explicit TGPSVersion(TCustomExifData* owner);
  const char* ClassName() const override { return "TGPSVersion"; }
};

// Tag 0x0002 of the interoperability directory, as characters.
class TInteropVersion : public TCustomExifVersion {
 public:
  explicit TInteropVersion(TCustomExifData* owner);
  const char* ClassName() const override { return "TInteropVersion"; }
};

// An X/Y resolution with its unit (1 = no absolute unit, 2 = inch, 3 = centimetre), mirrored into a
// simple XMP property each when the class has a schema.
class TCustomExifResolution : public TPersistent {
 public:
  TCustomExifResolution(const TCustomExifResolution&) = delete;
  TCustomExifResolution& operator=(const TCustomExifResolution&) = delete;
  const char* ClassName() const override { return "TCustomExifResolution"; }

  // Accepts any resolution; nullptr or a Missing source deletes the three tags and XMP properties.
  void Assign(const TPersistent* source) override;

  TTiffRational X() const;
  void SetX(const TTiffRational& value);
  TTiffRational Y() const;
  void SetY(const TTiffRational& value);
  // 1 when the unit tag is absent.
  std::uint16_t Unit() const;
  // Always stores the tag (1 too); 1 removes the unit's XMP property.
  void SetUnit(std::uint16_t value);
  // True unless both X and Y are unsigned RATIONAL tags with an element.
  bool Missing() const;

  TExifSection& Section() const { return *FSection; }

 protected:
  struct TTagInfo {
    TExifSectionKind SectionKind;
    TXMPNamespaceKind Schema = xnCustom;  // xnCustom: not mirrored
    std::string XName, YName, UnitName;
    TExifTagID XTagID = 0x011A, YTagID = 0x011B, UnitTagID = 0x0128;
  };
  TCustomExifResolution(TCustomExifData* owner, const TTagInfo& info);

 private:
  void SetFraction(TExifTagID id, const std::string& xmpName, const TTiffRational& value);

  TCustomExifData* FOwner;
  TXMPNamespaceKind FSchema;
  TExifSection* FSection;
  TExifTagID FXTagID, FYTagID, FUnitTagID;
  std::string FXName, FYName, FUnitName;
};

// Tags 0x011A, 0x011B, 0x0128 of the main directory, mirrored under "tiff".
class TImageResolution : public TCustomExifResolution {
 public:
  explicit TImageResolution(TCustomExifData* owner);
  const char* ClassName() const override { return "TImageResolution"; }
};

// Tags 0xA20E, 0xA20F, 0xA210 of the Exif directory, mirrored under "exif".
class TFocalPlaneResolution : public TCustomExifResolution {
 public:
  explicit TFocalPlaneResolution(TCustomExifData* owner);
  const char* ClassName() const override { return "TFocalPlaneResolution"; }
};

// Tags 0x011A, 0x011B, 0x0128 of the thumbnail directory; not mirrored.
class TThumbnailResolution : public TCustomExifResolution {
 public:
  explicit TThumbnailResolution(TCustomExifData* owner);
  const char* ClassName() const override { return "TThumbnailResolution"; }
};

// The ISO speed list, tag 0x8827 of the Exif directory (SHORT, or SBYTE from some cameras).
class TISOSpeedRatings : public TPersistent {
 public:
  explicit TISOSpeedRatings(TCustomExifData* owner) : FOwner(owner) {}
  TISOSpeedRatings(const TISOSpeedRatings&) = delete;
  TISOSpeedRatings& operator=(const TISOSpeedRatings&) = delete;
  const char* ClassName() const override { return "TISOSpeedRatings"; }

  // Copies the source's list as SHORT values (SBYTE elements taken as unsigned bytes); nullptr or
  // a source without a usable tag clears.
  void Assign(const TPersistent* source) override;
  // The elements joined by commas ("100,200"); empty when Missing.
  std::string AsString() const;
  // The tag is absent or neither SHORT nor SBYTE.
  bool Missing() const;
  // Deletes the tag and the XMP property.
  void Clear();

 private:
  TCustomExifData* FOwner;
};

// A GPS coordinate: degrees, minutes and seconds (RATIONAL elements 0..2 of the coordinate tag) and
// the direction letter of the reference tag (the coordinate tag's ID minus 1) in the GPS directory.
class TGPSCoordinate : public TPersistent {
 public:
  TGPSCoordinate(const TGPSCoordinate&) = delete;
  TGPSCoordinate& operator=(const TGPSCoordinate&) = delete;
  const char* ClassName() const override { return "TGPSCoordinate"; }

  // Accepts only an object of exactly this class (a latitude from a latitude) or nullptr.
  void Assign(const TPersistent* source) override;

  TTiffRational Degrees() const;
  TTiffRational Minutes() const;
  TTiffRational Seconds() const;
  // The reference letter, upper-cased; '\0' when there is none.
  char Direction() const;
  // '\0' deletes the reference tag and the XMP property. Otherwise the letter is stored (subject to
  // EnforceASCII) and an XMP text such as "51,30.5N" gets the new letter.
  void SetDirection(char value);
  // "51,30,15N", or "51,30.5N" when there are no seconds; empty without degrees or minutes.
  std::string AsString() const;
  // Writes degrees, minutes and seconds as the three RATIONALs of the coordinate tag and the
  // reference letter (upper-cased), replacing what was there, and mirrors the coordinate text into
  // XMP. A letter the tag refuses changes nothing.
  void SetValue(const TTiffRational& degrees, const TTiffRational& minutes, const TTiffRational& seconds,
                char direction);
  bool Missing() const;

  TExifTagID CoordinateTagID() const { return FCoordinateTagID; }
  TExifTagID RefTagID() const { return FRefTagID; }
  const std::string& XMPName() const { return FXMPName; }

 protected:
  TGPSCoordinate(TCustomExifData* owner, TExifTagID coordinateTagID);

 private:
  TCustomExifData* FOwner;
  TExifTagID FRefTagID;
  TExifTagID FCoordinateTagID;
  std::string FXMPName;
};

class TGPSLatitude : public TGPSCoordinate {
 public:
  TGPSLatitude(TCustomExifData* owner, TExifTagID coordinateTagID) : TGPSCoordinate(owner, coordinateTagID) {}
  const char* ClassName() const override { return "TGPSLatitude"; }
};

class TGPSLongitude : public TGPSCoordinate {
 public:
  TGPSLongitude(TCustomExifData* owner, TExifTagID coordinateTagID) : TGPSCoordinate(owner, coordinateTagID) {}
  const char* ClassName() const override { return "TGPSLongitude"; }
};

}  // namespace Zorp::Exif
