#pragma once
// The Exif container: all the Exif metadata of one image in six sections, the recognised MakerNote,
// the XMP packet (parsed on first read) and, in TExifData, the embedded thumbnail; with its change
// notification and the whole read path from a JPEG file or an Exif block.
//
// Threads: different containers may be used on different threads at the same time (loading, editing,
// saving, listing); the library writes no process-wide state after start-up (format settings and the
// test commit hook are per thread). One container, with its sections, tags, MakerNote and XMP packet,
// belongs to one thread at a time, also for reading: reads fill caches (the XMP packet is parsed on
// first use, the MakerNote is read on first use, tag texts are cached).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "zorp/base/JPEGImage.h"
#include "zorp/base/Set.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifSections.h"
#include "zorp/exif/ExifTags.h"
#include "zorp/exif/ExifValues.h"
#include "zorp/exif/ExifWriter.h"
#include "zorp/exif/IPTC.h"
#include "zorp/exif/JPEGUtils.h"
#include "zorp/exif/MakerNotes.h"

namespace Zorp::Exif {

class TXMPPacket;
class TContainedXMPPacket;
namespace Detail {
class TTiffFileLoader;
}

// What LoadFromJPEG found; mkIPTC stands for Photoshop APP13 segments, where IPTC lives.
enum TJPEGMetadataKind : std::uint8_t { mkExif = 0, mkIPTC = 1, mkXMP = 2 };
using TJPEGMetadataKinds = Zorp::Base::TSet<TJPEGMetadataKind, 8>;

// Whether stream holds "Exif" 00 00 and a TIFF header mark with 42 at its position. The position is
// restored, or, when moveToTiffHeader and the test passes, left on the "II"/"MM" mark.
bool HasExifHeader(Zorp::Base::TStream& stream, bool moveToTiffHeader = false);
// Whether stream holds the "Exif" 00 00 signature at its position, whatever follows. The position is restored.
bool HasExifSignature(Zorp::Base::TStream& stream);

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
  // Runs body between BeginUpdate and EndUpdate (also when it raises), so OnChange fires once at most.
  template <typename F>
  void WithinUpdate(F&& body) {
    Zorp::Exif::WithinUpdate(this, std::forward<F>(body));
  }
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
  // What the MakerNote classes see of this container; none without a MakerNote tag.
  std::optional<TMakerNoteContext> MakerNoteContext() const;
  void ResetMakerNote() override;
  bool HasMakerNote() const;

  TByteOrder ByteOrder() const { return FByteOrder; }
  void SetByteOrder(TByteOrder value) { FByteOrder = value; }
  std::int64_t TiffHeaderOffset() const { return FTiffHeaderOffset; }
  // The loaded Exif block from its TIFF header on (at most one segment's worth; empty when nothing
  // was loaded). The writer copies from it what MakerNote entries and thumbnail strips reference
  // beyond the tags' own bytes.
  std::span<const std::uint8_t> SourceBlock() const { return FSourceBlock; }
  // Whether the last load found a main directory (IFD0) with tags.
  bool LoadedPrimaryDirectory() const { return FLoadedPrimaryDirectory; }
  // Whether the loaded JPEG has an Exif segment that could not be read: its TIFF header is not
  // valid or its main directory is not in the data. A save would discard it (see RepairOnSave).
  bool UnreadableExif() const { return FUnreadableExif; }
  // The format's name ("DNG", "Nikon NEF") when the data was loaded from a TIFF or raw file
  // (TiffFile.h), which is never written: every save then refuses. Empty otherwise.
  const std::string& ReadOnlyFormat() const { return FReadOnlyFormat; }

  // ---- Named properties and typed values (ExifProperties.cpp, ExifValues.h) ----
  // Every getter reads the tags as they are now and falls back to a fixed default; every setter
  // changes the tags (empty values delete them) and then mirrors the value into the XMP packet under
  // its write policy. Setters that write several tags fire OnChange once. The topics below follow
  // the sections of ExifProperties.cpp.

  // -- Text --
  // ASCII text of the main directory.
  std::string CameraMake() const;  // 0x010F, tiff Make
  void SetCameraMake(const std::string& value);
  std::string CameraModel() const;  // 0x0110, tiff Model
  void SetCameraModel(const std::string& value);
  std::string Copyright() const;  // 0x8298, dc rights
  void SetCopyright(const std::string& value);
  // 0x010E, dc description; clearing it keeps the XMP description while the Windows subject is there.
  std::string ImageDescription() const;
  void SetImageDescription(const std::string& value);
  std::string Software() const;  // 0x0131, xmp CreatorTool and tiff Software
  void SetSoftware(const std::string& value);

  // Windows text of the main directory (UTF-16LE tags).
  std::string Keywords() const;  // 0x9C9E, dc subject and MicrosoftPhoto LastKeywordXMP
  void SetKeywords(const std::string& value);
  std::string Subject() const;  // 0x9C9F, dc description
  void SetSubject(const std::string& value);
  std::string Title() const;  // 0x9C9B, dc title
  void SetTitle(const std::string& value);
  // The Windows author 0x9C9D, else the Artist 0x013B. Non-ASCII names go to 0x9C9D only; 0x013B is
  // rewritten only when it is there.
  std::string Author() const;
  void SetAuthor(const std::string& value);
  // The Windows comment 0x9C9C, else the user comment 0x9286 (UNICODE or ASCII header). Writing sets
  // 0x9C9C and rewrites an existing user comment with the UNICODE header.
  std::string Comments() const;
  void SetComments(const std::string& value);

  // ASCII text of the Exif and interoperability directories.
  std::string ImageUniqueID() const;
  void SetImageUniqueID(const std::string& value);
  std::string RelatedSoundFile() const;
  void SetRelatedSoundFile(const std::string& value);
  std::string SpectralSensitivity() const;
  void SetSpectralSensitivity(const std::string& value);
  std::string SubsecTime() const;
  void SetSubsecTime(const std::string& value);
  std::string SubsecTimeOriginal() const;
  void SetSubsecTimeOriginal(const std::string& value);
  std::string SubsecTimeDigitized() const;
  void SetSubsecTimeDigitized(const std::string& value);
  std::string InteropTypeName() const;
  void SetInteropTypeName(const std::string& value);

  // -- Date-times --
  // Date-times with their sub-second tags; 0 deletes both. Each has XMP copies (XMPDateCopies): the
  // first is its mirror, written under the packet's policy; the others follow only where present.
  // A copy keeps the zone it named unless the Exif offset tag (0x9010-0x9012) gives one.
  Zorp::Base::TDateTime DateTime() const;  // 0x0132 + 0x9290
  void SetDateTime(Zorp::Base::TDateTime value);
  Zorp::Base::TDateTime DateTimeOriginal() const;  // 0x9003 + 0x9291
  void SetDateTimeOriginal(Zorp::Base::TDateTime value);
  Zorp::Base::TDateTime DateTimeDigitized() const;  // 0x9004 + 0x9292
  void SetDateTimeDigitized(Zorp::Base::TDateTime value);
  // Sets DateTime, DateTimeOriginal or DateTimeDigitized (named by its tag) to the whole seconds of
  // value and keeps the sub-seconds stored with it: the Exif sub-second tag and the fraction of each
  // XMP copy stay as they are. Raises EConvertError for a value outside the years 1 to 9999 or 0, and
  // EAssertionFailed for another tag.
  void SetDateTimeKeepingSubSeconds(TExifTagID dateTimeID, Zorp::Base::TDateTime value);

  // -- Enumerated values --
  // Enumerated values of the main, Exif and thumbnail directories.
  TTiffOrientation Orientation() const;
  void SetOrientation(TTiffOrientation value);
  TTiffOrientation ThumbnailOrientation() const;  // never mirrored
  void SetThumbnailOrientation(TTiffOrientation value);
  TWindowsStarRating UserRating() const;
  void SetUserRating(TWindowsStarRating value);  // raises ERangeError above urFiveStars
  TExifFileSource FileSource() const;
  void SetFileSource(TExifFileSource value);
  TExifSceneType SceneType() const;
  void SetSceneType(TExifSceneType value);

  // -- The GPS directory: texts, letters, date-time and time stamp --
  // The GPS directory. Reference letters read in either case; an unknown letter reads as the first
  // member, which writes as no tag. Letter setters raise ERangeError for a value outside the type.
  TGPSAltitudeRef GPSAltitudeRef() const;
  void SetGPSAltitudeRef(TGPSAltitudeRef value);
  std::string GPSSatellites() const;
  void SetGPSSatellites(const std::string& value);
  TGPSStatus GPSStatus() const;
  void SetGPSStatus(TGPSStatus value);
  TGPSMeasureMode GPSMeasureMode() const;
  void SetGPSMeasureMode(TGPSMeasureMode value);
  TGPSSpeedRef GPSSpeedRef() const;
  void SetGPSSpeedRef(TGPSSpeedRef value);
  TGPSDirectionRef GPSTrackRef() const;
  void SetGPSTrackRef(TGPSDirectionRef value);
  TGPSDirectionRef GPSImgDirectionRef() const;
  void SetGPSImgDirectionRef(TGPSDirectionRef value);
  std::string GPSMapDatum() const;
  void SetGPSMapDatum(const std::string& value);
  TGPSDirectionRef GPSDestBearingRef() const;
  void SetGPSDestBearingRef(TGPSDirectionRef value);
  TGPSDistanceRef GPSDestDistanceRef() const;
  void SetGPSDestDistanceRef(TGPSDistanceRef value);
  std::string GPSDateStamp() const;  // "yyyy:mm:dd", not mirrored
  void SetGPSDateStamp(const std::string& value);
  // What the GPS tags hold on their own: the date of the date stamp, and the time of day of the
  // time stamp; false when the tag is absent or holds no valid date or time.
  bool TryGetGPSDate(Zorp::Base::TDateTime& date) const;
  bool TryGetGPSTime(Zorp::Base::TDateTime& time) const;
  // The GPS date stamp plus time stamp; without a date stamp the date of DateTime (or of
  // DateTimeOriginal); without a usable time stamp the date alone.
  Zorp::Base::TDateTime GPSDateTimeUTC() const;
  void SetGPSDateTimeUTC(Zorp::Base::TDateTime value);
  // Hour, minute and second (index 0..2) of tag 0x0007. Setting one outside an update bracket drops
  // the XMP GPSTimeStamp, which no longer matches.
  TTiffRational GPSTimeStamp(std::int32_t index) const;
  void SetGPSTimeStamp(std::int32_t index, const TTiffRational& value);

  // -- The typed value objects --
  // The typed value objects, owned by the container; setting one assigns the value to it.
  TExifVersion& ExifVersion() { return *FExifVersion; }
  const TExifVersion& ExifVersion() const { return *FExifVersion; }
  void SetExifVersion(const TCustomExifVersion* value);
  TFlashPixVersion& FlashPixVersion() { return *FFlashPixVersion; }
  const TFlashPixVersion& FlashPixVersion() const { return *FFlashPixVersion; }
  void SetFlashPixVersion(const TCustomExifVersion* value);
  TGPSVersion& GPSVersion() { return *FGPSVersion; }
  const TGPSVersion& GPSVersion() const { return *FGPSVersion; }
  void SetGPSVersion(const TCustomExifVersion* value);
  TInteropVersion& InteropVersion() { return *FInteropVersion; }
  const TInteropVersion& InteropVersion() const { return *FInteropVersion; }
  void SetInteropVersion(const TCustomExifVersion* value);
  TExifFlashInfo& Flash() { return *FFlash; }
  const TExifFlashInfo& Flash() const { return *FFlash; }
  void SetFlash(const TExifFlashInfo* value);
  TImageResolution& Resolution() { return *FResolution; }
  const TImageResolution& Resolution() const { return *FResolution; }
  void SetResolution(const TCustomExifResolution* value);
  TFocalPlaneResolution& FocalPlaneResolution() { return *FFocalPlaneResolution; }
  const TFocalPlaneResolution& FocalPlaneResolution() const { return *FFocalPlaneResolution; }
  void SetFocalPlaneResolution(const TCustomExifResolution* value);
  TThumbnailResolution& ThumbnailResolution() { return *FThumbnailResolution; }
  const TThumbnailResolution& ThumbnailResolution() const { return *FThumbnailResolution; }
  void SetThumbnailResolution(const TCustomExifResolution* value);
  TISOSpeedRatings& ISOSpeedRatings() { return *FISOSpeedRatings; }
  const TISOSpeedRatings& ISOSpeedRatings() const { return *FISOSpeedRatings; }
  void SetISOSpeedRatings(const TISOSpeedRatings* value);
  TGPSLatitude& GPSLatitude() { return *FGPSLatitude; }
  const TGPSLatitude& GPSLatitude() const { return *FGPSLatitude; }
  void SetGPSLatitude(const TGPSLatitude* value);
  TGPSLongitude& GPSLongitude() { return *FGPSLongitude; }
  const TGPSLongitude& GPSLongitude() const { return *FGPSLongitude; }
  void SetGPSLongitude(const TGPSLongitude* value);
  TGPSLatitude& GPSDestLatitude() { return *FGPSDestLatitude; }
  const TGPSLatitude& GPSDestLatitude() const { return *FGPSDestLatitude; }
  void SetGPSDestLatitude(const TGPSLatitude* value);
  TGPSLongitude& GPSDestLongitude() { return *FGPSDestLongitude; }
  const TGPSLongitude& GPSDestLongitude() const { return *FGPSDestLongitude; }
  void SetGPSDestLongitude(const TGPSLongitude* value);

  // -- Read-only values, the pixel size and the offset schema --
  // Read-only fractions of the Exif directory (0/0 when absent).
  TTiffRational ExposureTime() const;
  TTiffRational FNumber() const;
  TTiffRational CompressedBitsPerPixel() const;
  TTiffRational ApertureValue() const;
  TTiffRational MaxApertureValue() const;
  TTiffRational SubjectDistance() const;
  TTiffRational FocalLength() const;
  TTiffRational ExposureIndex() const;
  TTiffRational DigitalZoomRatio() const;
  TTiffRational BrightnessValue() const;    // signed
  TTiffRational ExposureBiasValue() const;  // signed
  // 1000 / 2^(APEX shutter speed); 0 without a value.
  double ShutterSpeedMilliseconds() const;
  std::uint16_t ColorSpace() const;  // 0 when absent
  // Enumerated values without a type of their own: -1 when absent or, with EnsureEnumsInRange, out
  // of range.
  std::int16_t ExposureProgram() const;
  std::int16_t MeteringMode() const;
  std::int16_t LightSource() const;
  std::int16_t SensingMethod() const;
  std::int16_t Rendering() const;
  std::int16_t WhiteBalanceMode() const;
  std::int16_t SceneCaptureType() const;
  std::int16_t GainControl() const;
  std::int16_t SubjectDistanceRange() const;
  std::int16_t GPSDifferential() const;
  TSmallPoint SubjectLocation() const;
  // The word, or MissingWord. Setting a value with any of bits 16..23 set deletes the tag.
  std::int32_t FocalLengthIn35mmFilm() const;
  void SetFocalLengthIn35mmFilm(std::int32_t value);
  // The pixel size: an existing one-element SHORT tag stays SHORT while the value fits, else LONG.
  TOptionalLongWord ExifImageWidth() const;
  void SetExifImageWidth(const TOptionalLongWord& value);
  TOptionalLongWord ExifImageHeight() const;
  void SetExifImageHeight(const TOptionalLongWord& value);
  // The MakerNote offset schema 0xEA1D (SLONG), not mirrored.
  TOptionalLongInt MakerNoteDataOffset() const;
  void SetMakerNoteDataOffset(const TOptionalLongInt& value);
  // The altitude in metres (with GPSAltitudeRef telling above or below sea level), mirrored into XMP
  // as "exif:GPSAltitude"; a missing value (denominator 0) deletes the tag and the XMP property.
  TTiffRational GPSAltitude() const;
  void SetGPSAltitude(const TTiffRational& value);
  // Read-only fractions of the GPS directory.
  TTiffRational GPSDOP() const;
  TTiffRational GPSSpeed() const;
  TTiffRational GPSTrack() const;
  TTiffRational GPSImgDirection() const;
  TTiffRational GPSDestBearing() const;
  TTiffRational GPSDestDistance() const;

 private:
  // Shared by the properties of each kind.
  std::string GetAsciiValue(TExifSectionKind kind, TExifTagID id) const;
  void SetAsciiValue(TExifSectionKind kind, TExifTagID id, const std::string& value);
  void SetWindowsValue(TExifTagID id, const std::string& value);
  void SetDateTimeProperty(TExifSectionKind kind, TExifTagID id, TExifTagID subSecsID, TExifTagID offsetID,
                           Zorp::Base::TDateTime value, bool keepSubSeconds = false);
  TTiffOrientation GetOrientationOf(TExifSectionKind kind) const;
  void SetOrientationOf(TExifSectionKind kind, TTiffOrientation value);
  void SetEnumByte(TExifTagID id, const char* xmpName, std::uint8_t value);
  std::int16_t GetRangedWord(TExifSectionKind kind, TExifTagID id, std::int32_t maxValue,
                             std::int32_t modulus = 256) const;
  void SetGPSLetter(TExifTagID id, const char* xmpName, const char* const* letters, std::size_t count,
                    std::uint8_t value);
  void SetPixelDimension(TExifTagID id, const char* xmpName, const TOptionalLongWord& value);

  // Created in the constructor, freed in the destructor (in the reverse order).
  std::unique_ptr<TExifVersion> FExifVersion;
  std::unique_ptr<TFlashPixVersion> FFlashPixVersion;
  std::unique_ptr<TGPSVersion> FGPSVersion;
  std::unique_ptr<TGPSLatitude> FGPSLatitude;
  std::unique_ptr<TGPSLongitude> FGPSLongitude;
  std::unique_ptr<TGPSLatitude> FGPSDestLatitude;
  std::unique_ptr<TGPSLongitude> FGPSDestLongitude;
  std::unique_ptr<TExifFlashInfo> FFlash;
  std::unique_ptr<TFocalPlaneResolution> FFocalPlaneResolution;
  std::unique_ptr<TInteropVersion> FInteropVersion;
  std::unique_ptr<TISOSpeedRatings> FISOSpeedRatings;
  std::unique_ptr<TImageResolution> FResolution;
  std::unique_ptr<TThumbnailResolution> FThumbnailResolution;

 public:
  // ---- end of named properties ----

  // Whether the sections hold no tag; as with the XMP packet, the IPTC data does not count.
  virtual bool IsEmpty() const;
  // Clears the sections and, with xmpPacketToo, the XMP packet and the IPTC data (a save then drops
  // their segments).
  virtual void Clear(bool xmpPacketToo = true);

  // The thumbnail offset (tag 0x0201 of IFD1); with a stream, true only when FF D8 is there and
  // ThumbnailProbeSize bytes can be read from there.
  static constexpr std::int64_t ThumbnailProbeSize = 20;
  bool GetThumbnailOffset(Zorp::Base::TStream* stream, std::int64_t& offset) const;

  // Reads the first Exif APP1 segment and remembers the first XMP APP1 segment and every Photoshop
  // APP13 segment of a JPEG stream.
  void LoadFromJPEG(Zorp::Base::TStream& stream);

  // The IPTC data; the remembered Photoshop segments are parsed on first use. Its edits notify
  // OnChange. A save copies the segments unchanged unless the data was changed (Modified).
  TIPTCData& IPTC();
  // The remembered Photoshop APP13 segments not yet parsed (empty once read or when there are none).
  const std::vector<std::shared_ptr<IFoundJPEGSegment>>& PendingIPTCSegments() const { return FPendingIPTCSegments; }

  // The XMP packet; a pending XMP segment is parsed on first read.
  TXMPPacket& XMPPacket();
  TJPEGMetadataKinds SourceMetadata() const { return FSourceMetadata; }
  std::int64_t XMPSegmentOffset() const { return FXMPSegmentOffset; }
  std::int64_t XMPSegmentSize() const { return FXMPSegmentSize; }
  // The remembered XMP segment not yet parsed (nullptr once read or when there is none).
  const std::shared_ptr<IFoundJPEGSegment>& PendingXMPSegment() const { return FPendingXMPSegment; }
  // The XMP segment, once parsed, held no XMP packet (the packet is then empty).
  bool UnreadableXMP() const { return FUnreadableXMP; }

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
  std::vector<std::uint8_t> FSourceBlock;
  bool FLoadedPrimaryDirectory = false;
  bool FUnreadableExif = false;
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
  bool FUnreadableXMP = false;
  std::unique_ptr<TIPTCData> FIPTC;
  std::vector<std::shared_ptr<IFoundJPEGSegment>> FPendingIPTCSegments;
  std::function<void(TCustomExifData&)> FOnChange;
  TJPEGMetadataKinds FSourceMetadata;
  std::int64_t FXMPSegmentOffset = 0;
  std::int64_t FXMPSegmentSize = 0;
  std::string FReadOnlyFormat;
  friend class Detail::TTiffFileLoader;
};

class TExifData : public TCustomExifData, public Zorp::Base::IStreamPersist {
 public:
  TExifData();
  ~TExifData() override;
  const char* ClassName() const override { return "TExifData"; }

  bool RemovePaddingTagsOnSave() const { return FRemovePaddingTagsOnSave; }
  void SetRemovePaddingTagsOnSave(bool value) { FRemovePaddingTagsOnSave = value; }
  // A photo whose Exif segment could not be read (UnreadableExif) is not saved, since the save would
  // discard that segment, unless the caller asks for this repair: the segment is then replaced.
  bool RepairOnSave() const { return FRepairOnSave; }
  void SetRepairOnSave(bool value) { FRepairOnSave = value; }

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
  void LoadFromStream(Zorp::Base::TStream& stream) override;
  // ---- Saving (ExifWriter.cpp) ----
  // Writes a complete new Exif block ("Exif" 00 00 and a TIFF structure laid out afresh from the
  // sections, every directory and value on an even offset, every byte nothing covers zero) at the
  // stream's position; the stream is left at the block's end. A MakerNote loaded from a file keeps
  // its offset (or goes back to where its offset schema says it came from) and the directories are
  // placed around it; a thumbnail over 61440 bytes is scaled down and re-encoded at quality 90 at
  // most (EAssertionFailed when it still does not fit). The block is planned without changing the
  // container; once it is written, the container takes what was written (padding tags removed,
  // pointer tags, the thumbnail and its tags, the offset schema). A save that fails changes nothing.
  // Within SaveToJPEG this writes the block that save planned and changes nothing; a class that
  // extends it extends the Exif segment SaveToJPEG writes.
  void SaveToStream(Zorp::Base::TStream& stream) override;
  // Rewrites the whole JPEG in inStream (from its position) into outStream: start of image, the
  // input's APP0 segments, the new Exif segment (none when the container is empty), the XMP segment
  // (copied unchanged while the packet was never read, or when the input's packet cannot be read at
  // all; else regenerated, none for an empty packet), then the rest of the input without its first
  // Exif and first XMP segments, up to and including any bytes after the end of image. The input's
  // Photoshop APP13 segments stay where they are unless the IPTC data was changed: then the new ones
  // take the place of the first (none when the data is empty), or follow the XMP segment.
  // ExifImageWidth/Height take the frame size when either tag exists and differs. Raises
  // EInvalidJPEGHeader for input without a start-of-image marker and EJPEGSegmentTooLarge when the
  // Exif or XMP data does not fit one segment, in both cases before writing anything; outStream is
  // cut to the written length. As with SaveToStream, the container takes what was written (also the
  // frame size and, for a new main directory, its required tags) only once the output is complete.
  void SaveToJPEG(Zorp::Base::TStream& inStream, Zorp::Base::TStream& outStream);
  // Rewrites a JPEG file in place. The output is built in memory (bufferInMemory) or straight into a
  // temporary file beside the original, read back and checked (VerifySavedJPEG), then renamed over
  // the original; on any failure the original is left byte for byte as it was, no temporary file
  // remains and the container is unchanged.
  void SaveToJPEG(const std::string& fileName, bool bufferInMemory = true);
  // Parses a JPEG written by SaveToJPEG again (from the stream's start) and compares it with this
  // container: it must load, every directory written must read back with the same tags and no load
  // errors where the container had none, a thumbnail written must be found again, and a MakerNote
  // that reads cleanly here must read cleanly there. Raises EZorpExifException otherwise.
  void VerifySavedJPEG(Zorp::Base::TStream& stream);

  // Where a save put a MakerNote that its offset schema moved (ExifWriter.h).
  using TMovedMakerNote = Zorp::Exif::TMovedMakerNote;

 private:
  friend class Detail::TJPEGRewrite;
  TMovedMakerNote FMovedMakerNote;
  // Set while SaveToJPEG asks SaveToStream for the block it planned.
  Detail::TExifWriter* FPlannedWriter = nullptr;

 public:
  // ---- end of saving ----
  using TCustomExifData::LoadFromJPEG;
  // Opens the file read-only and reads it; the file is closed in every case. First an interrupted
  // earlier save of the file is recovered (RecoveryNote says what was done), and what was read is
  // remembered (FileState): a later SaveToJPEG of the same file name refuses with EFileChanged,
  // writing nothing, when the file is not in that state any more.
  void LoadFromJPEG(const std::string& fileName);
  // The file the last LoadFromJPEG(fileName) read or SaveToJPEG(fileName) wrote, as it was then.
  const std::optional<Zorp::Base::TFileIdentity>& FileState() const { return FFileState; }
  // Takes the file's present state as the one read, after the caller changed the file on purpose
  // (as when it gives the file its former dates back).
  void RememberFileState();
  // What the last LoadFromJPEG(fileName) did about an interrupted earlier save of the file: empty,
  // or a sentence to show the user.
  const std::string& RecoveryNote() const { return FRecoveryNote; }

 protected:
  void DoLoadFromStream(Zorp::Base::TStream& stream) override;

 private:
  void ThumbnailChanged();

  bool FRemovePaddingTagsOnSave = true;
  bool FRepairOnSave = false;
  std::unique_ptr<Zorp::Base::TJPEGImage> FThumbnail;
  std::string FStateFileName;  // the name FFileState was read for
  std::optional<Zorp::Base::TFileIdentity> FFileState;
  std::string FRecoveryNote;
  friend class Detail::TTiffFileLoader;
};

// The size a thumbnail of width x height takes when fitted into maxWidth x maxHeight (round half even).
void FitThumbnailSize(int width, int height, int maxWidth, int maxHeight, int& newWidth, int& newHeight);

}  // namespace Zorp::Exif
