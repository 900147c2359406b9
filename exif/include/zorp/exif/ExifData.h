#pragma once
// The Exif container: all the Exif metadata of one image in six sections, the recognised MakerNote,
// the XMP packet (parsed on first read) and, in TExifData, the embedded thumbnail; with its change
// notification and the whole read path from a JPEG file or an Exif block.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zorp/base/JPEGImage.h"
#include "zorp/base/Set.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifSections.h"
#include "zorp/exif/ExifTags.h"
#include "zorp/exif/JPEGUtils.h"
#include "zorp/exif/MakerNotes.h"

namespace Zorp::Exif {

class TXMPPacket;
class TContainedXMPPacket;

// What LoadFromJPEG found.
enum TJPEGMetadataKind : std::uint8_t { mkExif = 0, mkIPTC = 1, mkXMP = 2 };
using TJPEGMetadataKinds = Zorp::Base::TSet<TJPEGMetadataKind, 8>;

// Whether stream holds "Exif" 00 00 and a TIFF header mark with 42 at its position. The position is
// restored, or, when moveToTiffHeader and the test passes, left on the "II"/"MM" mark.
bool HasExifHeader(Zorp::Base::TStream& stream, bool moveToTiffHeader = false);

class TCustomExifData : public TExifSectionOwner {
 public:
  // A container whose sections keep the loaded file's layout (extendableSections false) or accept
  // structural edits (TExifData).
  explicit TCustomExifData(bool extendableSections = false);
  virtual ~TCustomExifData();
  TCustomExifData(const TCustomExifData&) = delete;
  TCustomExifData& operator=(const TCustomExifData&) = delete;

  virtual const char* ClassName() const { return "TCustomExifData"; }

  // Options.
  bool AlwaysWritePreciseTimes() const override { return FAlwaysWritePreciseTimes; }
  void SetAlwaysWritePreciseTimes(bool value) { FAlwaysWritePreciseTimes = value; }
  bool EnforceASCII() const override { return FEnforceASCII; }
  void SetEnforceASCII(bool value) { FEnforceASCII = value; }
  bool EnsureEnumsInRange() const { return FEnsureEnumsInRange; }
  void SetEnsureEnumsInRange(bool value) { FEnsureEnumsInRange = value; }

  // Change notification: OnChange fires after every change, or once at the end of an update bracket.
  void BeginUpdate() override;
  void EndUpdate() override;
  bool Updating() const { return FUpdateCount > 0; }
  virtual void Changed(TExifSection* section);
  void SectionChanged(TExifSection* section) override { Changed(section); }
  bool Modified() const { return FModified; }
  // True fires the change notification; false only clears the flag.
  void SetModified(bool value);
  void SetOnChange(std::function<void(TCustomExifData&)> handler) { FOnChange = std::move(handler); }

  // The section of a kind; reading the MakerNote section creates the MakerNote object first, which
  // reads the private directory. Raises EInvalidMakerNoteFormat when the MakerNote no longer fits
  // its class.
  TExifSection& Sections(TExifSectionKind kind);
  TExifSection& operator[](TExifSectionKind kind) { return Sections(kind); }
  TExifSection* Section(TExifSectionKind kind) override;
  // The section without creating the MakerNote (for reading what is already there).
  const TExifSection& PeekSection(TExifSectionKind kind) const;

  // The MakerNote object, created on first use.
  TExifMakerNote& MakerNote();
  const TExifMakerNoteClass& MakerNoteType() const { return *FMakerNoteType; }
  void ResetMakerNote() override;
  bool HasMakerNote() const;

  TByteOrder ByteOrder() const { return FByteOrder; }
  void SetByteOrder(TByteOrder value) { FByteOrder = value; }
  std::int64_t TiffHeaderOffset() const { return FTiffHeaderOffset; }

  // ---- Named properties and typed values (ExifProperties.cpp, ExifValues.h) ----
  // Text of tags 0x010F and 0x0110 of the primary directory; the MakerNote offset schema 0xEA1D.
  std::string CameraMake() const;
  std::string CameraModel() const;
  TOptionalLongInt MakerNoteDataOffset() const;
  // ---- end of named properties ----

  virtual bool IsEmpty() const;
  virtual void Clear(bool xmpPacketToo = true);

  // The thumbnail offset (tag 0x0201 of IFD1); with a stream, true only when FF D8 is there.
  bool GetThumbnailOffset(Zorp::Base::TStream* stream, std::int64_t& offset) const;

  // Reads the first Exif APP1 segment and remembers the first XMP APP1 segment of a JPEG stream.
  void LoadFromJPEG(Zorp::Base::TStream& stream);

  // The XMP packet; a pending XMP segment is parsed on first read.
  TXMPPacket& XMPPacket();
  TJPEGMetadataKinds SourceMetadata() const { return FSourceMetadata; }
  std::int64_t XMPSegmentOffset() const { return FXMPSegmentOffset; }
  std::int64_t XMPSegmentSize() const { return FXMPSegmentSize; }
  // The remembered XMP segment not yet parsed (nullptr once read or when there is none).
  const std::shared_ptr<IFoundJPEGSegment>& PendingXMPSegment() const { return FPendingXMPSegment; }

  // Removes one padding tag from each section.
  void RemovePaddingTags();
  // Copies the sections of source (nullptr clears everything).
  virtual void Assign(const TCustomExifData* source);

 protected:
  // Reads one Exif block starting at the stream's position ("Exif" 00 00, then TIFF).
  virtual void DoLoadFromStream(Zorp::Base::TStream& stream);
  // Ends a load: no notification from the load itself, Modified false.
  void FinishLoad();

  std::int64_t FTiffHeaderOffset = 0;

 private:
  bool FAlwaysWritePreciseTimes = false;
  bool FChangedWhileUpdating = false;
  TByteOrder FByteOrder = boLittleEndian;
  bool FEnforceASCII = true;
  bool FEnsureEnumsInRange = true;
  const TExifMakerNoteClass* FMakerNoteType = &TUnrecognizedMakerNote;
  std::unique_ptr<TExifMakerNote> FMakerNote;
  bool FModified = false;
  std::unique_ptr<TExifSection> FSections[6];
  std::int32_t FUpdateCount = 0;
  std::unique_ptr<TContainedXMPPacket> FXMPPacket;
  std::shared_ptr<IFoundJPEGSegment> FPendingXMPSegment;
  std::function<void(TCustomExifData&)> FOnChange;
  TJPEGMetadataKinds FSourceMetadata;
  std::int64_t FXMPSegmentOffset = 0;
  std::int64_t FXMPSegmentSize = 0;
};

class TExifData : public TCustomExifData {
 public:
  TExifData();
  ~TExifData() override;
  const char* ClassName() const override { return "TExifData"; }

  bool RemovePaddingTagsOnSave() const { return FRemovePaddingTagsOnSave; }
  void SetRemovePaddingTagsOnSave(bool value) { FRemovePaddingTagsOnSave = value; }

  // The embedded thumbnail, created empty on first use.
  Zorp::Base::TJPEGImage& Thumbnail();
  bool HasThumbnail() const { return FThumbnail && !FThumbnail->Empty(); }
  // nullptr frees the thumbnail; otherwise it becomes a copy of value.
  void SetThumbnail(const Zorp::Base::TJPEGImage* value);
  // Scales a thumbnail larger than 160 x 120 down to fit.
  void StandardizeThumbnail();

  bool IsEmpty() const override;
  void Clear(bool xmpPacketToo = true) override;
  void Assign(const TCustomExifData* source) override;

  // Clears, then reads one Exif block at the stream's position.
  void LoadFromStream(Zorp::Base::TStream& stream);
  // ---- Saving (ExifWriter.cpp) ----
  // ---- end of saving ----
  using TCustomExifData::LoadFromJPEG;
  // Opens the file read-only and reads it; the file is closed in every case.
  void LoadFromJPEG(const std::string& fileName);

 protected:
  void DoLoadFromStream(Zorp::Base::TStream& stream) override;

 private:
  void ThumbnailChanged();

  bool FRemovePaddingTagsOnSave = true;
  std::unique_ptr<Zorp::Base::TJPEGImage> FThumbnail;
};

// The size a thumbnail of width x height takes when fitted into maxWidth x maxHeight (round half even).
void FitThumbnailSize(int width, int height, int maxWidth, int maxHeight, int& newWidth, int& newHeight);

}  // namespace Zorp::Exif
