// Typed views over Exif values: flash, versions, resolutions, ISO speed ratings, GPS coordinates.

#include "zorp/exif/ExifValues.h"

#include <cmath>
#include <cstring>
#include <span>
#include <typeinfo>
#include <vector>

#include "ExifTagsDetail.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPUtils.h"

namespace Zorp::Exif {

using Zorp::Base::Format;

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

// ---------------------------------------------------------------------------------------------------
// TPersistent

void TPersistent::Assign(const TPersistent* source) { AssignError(source); }

void TPersistent::AssignError(const TPersistent* source) const {
  throw Zorp::Base::EConvertError(Format(SCannotAssign, source ? source->ClassName() : "nil", ClassName()));
}

// ---------------------------------------------------------------------------------------------------
// TExifFlashInfo

namespace {

constexpr std::uint16_t FlashFired = 0x01;
constexpr std::uint16_t FlashReturnLight = 0x02;  // bit 1: return light detected
constexpr std::uint16_t FlashDetection = 0x04;    // bit 2: a detection function is there
constexpr std::uint16_t FlashModeLow = 0x08;
constexpr std::uint16_t FlashModeHigh = 0x10;
constexpr std::uint16_t FlashNoFunction = 0x20;
constexpr std::uint16_t FlashRedEye = 0x40;

std::uint16_t WithBit(std::uint16_t value, std::uint16_t bit, bool set) {
  return set ? static_cast<std::uint16_t>(value | bit) : static_cast<std::uint16_t>(value & ~bit);
}

}  // namespace

std::uint16_t TExifFlashInfo::StoredValue() const {
  std::uint16_t value = 0;
  if (!FOwner->PeekSection(skExif).TryGetWordValue(ttFlash, 0, value)) return 0;
  return value;
}

void TExifFlashInfo::SetStoredValue(std::uint16_t value) {
  TXMPPacket& packet = FOwner->XMPPacket();
  if (value == 0) {
    FOwner->Sections(skExif).Remove(ttFlash);
    packet.RemoveProperty(xnExif, "Flash");
    return;
  }
  FOwner->Sections(skExif).SetWordValue(ttFlash, 0, value);
  if (packet.WritePolicy() == wpRemove) {
    packet.RemoveProperty(xnExif, "Flash");
    return;
  }
  // The schema is created under every other policy, even when the property then is not.
  TXMPSchema& schema = packet.FindOrAddSchema(XMPNamespaceURI(xnExif));
  TXMPProperty* property = nullptr;
  if (!schema.FindProperty("Flash", property)) {
    if (packet.WritePolicy() != wpUpdateOrAdd) return;
    property = &schema.AddProperty("Flash");
  }
  property->SetKind(pkStructure);
  property->UpdateSubProperty("Fired", (value & FlashFired) != 0);
  property->UpdateSubProperty("Function", (value & FlashNoFunction) != 0);
  property->UpdateSubProperty("Mode", static_cast<int>((value >> 3) & 3));
  property->UpdateSubProperty("RedEyeMode", (value & FlashRedEye) != 0);
  int returnLight = 0;
  if (value & FlashDetection) returnLight = value & FlashReturnLight ? 3 : 2;
  property->UpdateSubProperty("Return", returnLight);
}

bool TExifFlashInfo::Fired() const { return (StoredValue() & FlashFired) != 0; }

void TExifFlashInfo::SetFired(bool value) { SetStoredValue(WithBit(StoredValue(), FlashFired, value)); }

bool TExifFlashInfo::Present() const { return (StoredValue() & FlashNoFunction) == 0; }

void TExifFlashInfo::SetPresent(bool value) { SetStoredValue(WithBit(StoredValue(), FlashNoFunction, !value)); }

bool TExifFlashInfo::RedEyeReduction() const { return (StoredValue() & FlashRedEye) != 0; }

void TExifFlashInfo::SetRedEyeReduction(bool value) { SetStoredValue(WithBit(StoredValue(), FlashRedEye, value)); }

TExifFlashMode TExifFlashInfo::Mode() const { return static_cast<TExifFlashMode>((StoredValue() >> 3) & 3); }

void TExifFlashInfo::SetMode(TExifFlashMode value) {
  std::uint16_t stored = StoredValue();
  stored = WithBit(stored, FlashModeHigh, value == efCompulsorySuppression || value == efAuto);
  stored = WithBit(stored, FlashModeLow, value == efCompulsoryFire || value == efAuto);
  SetStoredValue(stored);
}

TExifStrobeLight TExifFlashInfo::StrobeLight() const {
  const std::uint16_t stored = StoredValue();
  if (!(stored & FlashDetection)) return esNoDetectionFunction;
  return stored & FlashReturnLight ? esDetected : esUndetected;
}

void TExifFlashInfo::SetStrobeLight(TExifStrobeLight value) {
  std::uint16_t stored = StoredValue();
  stored = WithBit(stored, FlashDetection, value == esUndetected || value == esDetected);
  stored = WithBit(stored, FlashReturnLight, value == esDetected);
  SetStoredValue(stored);
}

TTiffRational TExifFlashInfo::FlashEnergy() const {
  return FOwner->PeekSection(skExif).GetFractionValue(ttFlashEnergy, 0);
}

void TExifFlashInfo::SetFlashEnergy(const TTiffRational& value) {
  FOwner->Sections(skExif).SetFractionValue(ttFlashEnergy, 0, value);
  FOwner->XMPPacket().UpdateProperty(xnExif, "FlashEnergy", RationalToText(value));
}

bool TExifFlashInfo::Missing() const {
  const TExifSection& exif = FOwner->PeekSection(skExif);
  return !exif.TagExists(ttFlash, {dtShort, dtSShort}, 1) &&
         !exif.TagExists(ttFlashEnergy, {dtRational, dtSRational}, 1);
}

void TExifFlashInfo::Assign(const TPersistent* source) {
  const auto* flash = dynamic_cast<const TExifFlashInfo*>(source);
  if (source && !flash) AssignError(source);
  // Read the source first: it may be this very object.
  const std::uint16_t stored = flash ? flash->StoredValue() : 0;
  const TTiffRational energy = flash ? flash->FlashEnergy() : TTiffRational{};
  FOwner->WithinUpdate([&] {
    SetStoredValue(stored);
    SetFlashEnergy(energy);
  });
}

// ---------------------------------------------------------------------------------------------------
// The versions

TCustomExifVersion::TCustomExifVersion(TCustomExifData* owner, const TTagInfo& info)
    : FOwner(owner),
      FMajorIndex(info.MajorIndex),
      FSectionKind(info.SectionKind),
      FStoreAsChars(info.StoreAsChars),
      FTagID(info.TagID),
      FTiffDataType(info.TiffDataType) {}

TExifVersionElement TCustomExifVersion::GetElement(std::int32_t offset) const {
  std::uint8_t value = 0;
  if (!FOwner->PeekSection(FSectionKind).TryGetByteValue(FTagID, FMajorIndex + offset, value)) return 0;
  // Characters and raw numbers both read as numbers: '2' is 2, and a raw 2 is 2 as well.
  return value < '0' ? value : static_cast<TExifVersionElement>(value - '0');
}

void TCustomExifVersion::SetElement(std::int32_t offset, TExifVersionElement value) {
  TExifSection& section = FOwner->Sections(FSectionKind);
  // A version has four elements: a tag made here gets the leading "0" of "0232" and the last 0 of
  // GPS 2.3.0.0 as well, not a NUL byte or a short count.
  const TExifTag* tag = section.Find(FTagID);
  const std::uint8_t zero = FStoreAsChars ? '0' : 0;
  for (std::int32_t index = tag ? tag->ElementCount() : 0; index < 4; ++index)
    if (index != FMajorIndex + offset) section.SetArrayElement(FTagID, FTiffDataType, index, &zero);
  const std::uint8_t stored = FStoreAsChars ? static_cast<std::uint8_t>(value + '0') : value;
  section.SetArrayElement(FTagID, FTiffDataType, FMajorIndex + offset, &stored);
}

std::string TCustomExifVersion::AsString() const {
  if (Empty()) return {};
  // The setter reads this text back, so it never follows the process settings.
  return Format("%d%c%d%d", Major() & 0x7F, Zorp::Base::InvariantFormatSettings().DecimalSeparator, Minor() & 0x7F,
                Release() & 0x7F);
}

void TCustomExifVersion::SetAsString(const std::string& text) {
  if (text.empty()) {
    Assign(nullptr);
    return;
  }
  std::size_t cursor = 0;
  auto nextDigit = [&]() -> TExifVersionElement {
    if (cursor >= text.size()) return 0;
    const char c = text[cursor];
    if (c < '0' || c > '9') throw Zorp::Base::ERangeError(SRangeError);
    ++cursor;
    return static_cast<TExifVersionElement>(c - '0');
  };
  // Every digit is read before anything is written, so a bad one leaves the version as it was.
  const TExifVersionElement major = nextDigit();
  TExifVersionElement minor = 0, release = 0;
  if (cursor < text.size()) {
    ++cursor;  // the separator, whatever it is
    minor = nextDigit();
    release = nextDigit();
  }
  FOwner->WithinUpdate([&] {
    SetMajor(major);
    SetMinor(minor);
    SetRelease(release);
  });
}

void TCustomExifVersion::Assign(const TPersistent* source) {
  const auto* version = dynamic_cast<const TCustomExifVersion*>(source);
  if (source && !version) AssignError(source);
  if (!version || version->Empty()) {
    FOwner->Sections(FSectionKind).Remove(FTagID);
    return;
  }
  const TExifVersionElement major = version->Major(), minor = version->Minor(), release = version->Release();
  FOwner->WithinUpdate([&] {
    SetMajor(major);
    SetMinor(minor);
    SetRelease(release);
  });
}

TExifVersion::TExifVersion(TCustomExifData* owner) : TCustomExifVersion(owner, {skExif, ttExifVersion}) {}

TFlashPixVersion::TFlashPixVersion(TCustomExifData* owner) : TCustomExifVersion(owner, {skExif, ttFlashPixVersion}) {}

TGPSVersion::TGPSVersion(TCustomExifData* owner)
    : TCustomExifVersion(owner, {skGps, ttGPSVersionID, 0, false, dtByte}) {}

TInteropVersion::TInteropVersion(TCustomExifData* owner)
    : TCustomExifVersion(owner, {skInterop, ttInteroperabilityVersion}) {}

// ---------------------------------------------------------------------------------------------------
// The resolutions

TCustomExifResolution::TCustomExifResolution(TCustomExifData* owner, const TTagInfo& info)
    : FOwner(owner),
      FSchema(info.Schema),
      FSection(&owner->Sections(info.SectionKind)),
      FXTagID(info.XTagID),
      FYTagID(info.YTagID),
      FUnitTagID(info.UnitTagID),
      FXName(info.XName),
      FYName(info.YName),
      FUnitName(info.UnitName) {}

TTiffRational TCustomExifResolution::X() const { return FSection->GetFractionValue(FXTagID, 0); }

TTiffRational TCustomExifResolution::Y() const { return FSection->GetFractionValue(FYTagID, 0); }

void TCustomExifResolution::SetFraction(TExifTagID id, const std::string& xmpName, const TTiffRational& value) {
  FSection->SetFractionValue(id, 0, value);
  if (FSchema != xnCustom) FOwner->XMPPacket().UpdateProperty(FSchema, xmpName, RationalToText(value));
}

void TCustomExifResolution::SetX(const TTiffRational& value) { SetFraction(FXTagID, FXName, value); }

void TCustomExifResolution::SetY(const TTiffRational& value) { SetFraction(FYTagID, FYName, value); }

std::uint16_t TCustomExifResolution::Unit() const {
  std::uint16_t value = 1;
  if (!FSection->TryGetWordValue(FUnitTagID, 0, value)) return 1;
  return value;
}

void TCustomExifResolution::SetUnit(std::uint16_t value) {
  FSection->SetWordValue(FUnitTagID, 0, value);
  if (FSchema == xnCustom) return;
  if (value == 1)
    FOwner->XMPPacket().RemoveProperty(FSchema, FUnitName);
  else
    FOwner->XMPPacket().UpdateProperty(FSchema, FUnitName, static_cast<int>(value));
}

bool TCustomExifResolution::Missing() const {
  return !FSection->TagExists(FXTagID, {dtRational}, 1) || !FSection->TagExists(FYTagID, {dtRational}, 1);
}

void TCustomExifResolution::Assign(const TPersistent* source) {
  const auto* resolution = dynamic_cast<const TCustomExifResolution*>(source);
  if (source && !resolution) AssignError(source);
  FOwner->WithinUpdate([&] {
    if (!resolution || resolution->Missing()) {
      FSection->Remove({FXTagID, FYTagID, FUnitTagID});
      if (FSchema != xnCustom) FOwner->XMPPacket().RemoveProperties(FSchema, {FXName, FYName, FUnitName});
      return;
    }
    const TTiffRational x = resolution->X(), y = resolution->Y();
    const std::uint16_t unit = resolution->Unit();
    SetX(x);
    SetY(y);
    SetUnit(unit);
  });
}

TImageResolution::TImageResolution(TCustomExifData* owner)
    : TCustomExifResolution(owner, {skPrimary, xnTIFF, "XResolution", "YResolution", "ResolutionUnit"}) {}

TFocalPlaneResolution::TFocalPlaneResolution(TCustomExifData* owner)
    : TCustomExifResolution(
          owner, {skExif, xnExif, "FocalPlaneXResolution", "FocalPlaneYResolution", "FocalPlaneResolutionUnit",
                  ttFocalPlaneXResolution, ttFocalPlaneYResolution, ttFocalPlaneResolutionUnit}) {}

TThumbnailResolution::TThumbnailResolution(TCustomExifData* owner)
    : TCustomExifResolution(owner, {skThumbnail, xnCustom, {}, {}, {}}) {}

// ---------------------------------------------------------------------------------------------------
// TISOSpeedRatings

namespace {

const TExifTag* ValidISOTag(const TCustomExifData& owner) {
  const TExifTag* tag = owner.PeekSection(skExif).Find(ttISOSpeedRatings);
  return tag && (tag->DataType() == dtShort || tag->DataType() == dtSByte) ? tag : nullptr;
}

}  // namespace

bool TISOSpeedRatings::Missing() const { return ValidISOTag(*FOwner) == nullptr; }

std::string TISOSpeedRatings::AsString() const {
  const TExifTag* tag = ValidISOTag(*FOwner);
  return tag ? tag->AsString() : std::string();
}

void TISOSpeedRatings::Clear() {
  FOwner->Sections(skExif).Remove(ttISOSpeedRatings);
  FOwner->XMPPacket().RemoveProperty(xnExif, "ISOSpeedRatings");
}

void TISOSpeedRatings::Assign(const TPersistent* source) {
  const auto* ratings = dynamic_cast<const TISOSpeedRatings*>(source);
  if (source && !ratings) AssignError(source);
  const TExifTag* from = ratings ? ValidISOTag(*ratings->FOwner) : nullptr;
  if (!from) {
    FOwner->WithinUpdate([&] { Clear(); });
    return;
  }
  // The new SHORT values, taken from the source's bytes only (which may be this very tag's).
  // SBYTE elements become their unsigned byte values, as the word reading of a section sees them.
  const std::span<const std::uint8_t> bytes = from->Bytes();
  std::vector<std::uint16_t> values;
  if (from->DataType() == dtShort) {
    values.resize(bytes.size() / 2);
    std::memcpy(values.data(), bytes.data(), values.size() * 2);
  } else {
    values.assign(bytes.begin(), bytes.end());
  }
  const std::size_t available = from->ElementCount() > 0 ? static_cast<std::size_t>(from->ElementCount()) : 0;
  if (values.size() > available) values.resize(available);
  const auto count = static_cast<std::int32_t>(values.size());
  FOwner->WithinUpdate([&] {
    TExifSection& exif = FOwner->Sections(skExif);
    TExifTag* tag = exif.Find(ttISOSpeedRatings);
    if (!tag) tag = exif.AddTag(ttISOSpeedRatings, dtShort, count);
    tag->UpdateData(
        dtShort, count,
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(values.data()), values.size() * 2));
    FOwner->XMPPacket().UpdateProperty(xnExif, "ISOSpeedRatings", tag->AsString(), pkSequence);
  });
}

// ---------------------------------------------------------------------------------------------------
// TGPSCoordinate

TGPSCoordinate::TGPSCoordinate(TCustomExifData* owner, TExifTagID coordinateTagID)
    : FOwner(owner),
      FRefTagID(static_cast<TExifTagID>(coordinateTagID - 1)),
      FCoordinateTagID(coordinateTagID),
      FXMPName(GetGPSTagName(coordinateTagID)) {}

TTiffRational TGPSCoordinate::Degrees() const {
  return FOwner->PeekSection(skGps).GetFractionValue(FCoordinateTagID, 0);
}

TTiffRational TGPSCoordinate::Minutes() const {
  return FOwner->PeekSection(skGps).GetFractionValue(FCoordinateTagID, 1);
}

TTiffRational TGPSCoordinate::Seconds() const {
  return FOwner->PeekSection(skGps).GetFractionValue(FCoordinateTagID, 2);
}

char TGPSCoordinate::Direction() const {
  const TExifTag* tag = FOwner->PeekSection(skGps).Find(FRefTagID);
  if (!tag || tag->DataType() != dtAscii || Detail::AsciiTextLength(tag->Bytes()) == 0) return '\0';
  return Zorp::Base::UpperAscii(static_cast<char>(tag->Data()[0]));
}

bool TGPSCoordinate::Missing() const {
  return Degrees().Denominator == 0 || Minutes().Denominator == 0 || Direction() == '\0';
}

std::string TGPSCoordinate::AsString() const {
  const TTiffRational degrees = Degrees(), minutes = Minutes(), seconds = Seconds();
  if (degrees.Denominator == 0 || minutes.Denominator == 0) return {};
  const std::string ref = FOwner->PeekSection(skGps).GetStringValue(FRefTagID);
  const auto whole = [](const TTiffRational& r) { return r.Denominator != 0 && r.Numerator % r.Denominator == 0; };
  // Whole values as plain numbers: "30", also when stored as 300000/10000.
  const auto number = [](const TTiffRational& r) { return std::to_string(r.Numerator / r.Denominator); };
  if (whole(degrees) && whole(minutes) && whole(seconds))
    return Format("%s,%s,%s%s", number(degrees).c_str(), number(minutes).c_str(), number(seconds).c_str(), ref.c_str());
  // Otherwise whole degrees and decimal minutes, the other form XMP knows: a fraction such as
  // "3612/100" in a field reads as nothing to other programs.
  const double wholeDegrees = std::floor(degrees.Value());
  const double totalMinutes = (degrees.Value() - wholeDegrees) * 60 + minutes.Value() + seconds.Value() / 60;
  // This text goes into the XMP packet: other readers take a ',' in the minutes for a field separator.
  return std::to_string(static_cast<long long>(wholeDegrees)) + "," +
         Zorp::Base::FloatToStrG(totalMinutes, 15, Zorp::Base::InvariantFormatSettings()) + ref;
}

void TGPSCoordinate::SetDirection(char value) {
  TXMPPacket& packet = FOwner->XMPPacket();
  if (value == '\0') {
    FOwner->Sections(skGps).Remove(FRefTagID);
    packet.RemoveProperty(xnExif, FXMPName);
    return;
  }
  const std::string letter(1, Zorp::Base::UpperAscii(value));
  std::string text = AsString();
  bool lettersOnly = true;
  for (char c : text) lettersOnly = lettersOnly && IsAsciiLetter(c);
  const bool mirrored = !text.empty() && !lettersOnly;
  if (mirrored) {
    while (!text.empty() && IsAsciiLetter(text.back())) text.pop_back();
    text += letter;
  }
  // A letter the tag or the XMP text would refuse changes neither.
  TExifSection& gps = FOwner->Sections(skGps);
  gps.CheckStringValue(letter);
  if (mirrored) packet.CheckUpdateText(text);
  gps.SetStringValue(FRefTagID, letter);
  if (mirrored) packet.UpdateProperty(xnExif, FXMPName, text);
}

void TGPSCoordinate::SetValue(const TTiffRational& degrees, const TTiffRational& minutes, const TTiffRational& seconds,
                              char direction) {
  const std::string letter(1, Zorp::Base::UpperAscii(direction));
  TExifSection& gps = FOwner->Sections(skGps);
  gps.CheckStringValue(letter);
  FOwner->WithinUpdate([&] {
    // A fresh tag: an old one may be SRATIONAL or have more elements.
    while (gps.Remove(FCoordinateTagID)) {
    }
    gps.AddTag(FCoordinateTagID, dtRational, 3);
    const TTiffRational parts[3] = {degrees, minutes, seconds};
    for (std::int32_t index = 0; index < 3; ++index)
      gps.SetArrayElement(FCoordinateTagID, dtRational, index, &parts[index]);
    gps.SetStringValue(FRefTagID, letter);
    FOwner->XMPPacket().UpdateProperty(xnExif, FXMPName, AsString());
  });
}

void TGPSCoordinate::Assign(const TPersistent* source) {
  if (source && typeid(*source) != typeid(*this)) AssignError(source);
  const auto* coordinate = static_cast<const TGPSCoordinate*>(source);
  const TExifTag* from =
      coordinate ? coordinate->FOwner->PeekSection(skGps).Find(coordinate->FCoordinateTagID) : nullptr;
  if (!from) {
    FOwner->WithinUpdate([&] {
      FOwner->Sections(skGps).Remove({FCoordinateTagID, FRefTagID});
      FOwner->XMPPacket().RemoveProperty(xnExif, FXMPName);
    });
    return;
  }
  // Copied before anything changes: the source may be this very object.
  const TTiffDataType type = from->DataType();
  const std::int32_t count = from->ElementCount();
  const std::vector<std::uint8_t> bytes(from->Bytes().begin(), from->Bytes().end());
  const char direction = coordinate->Direction();
  FOwner->WithinUpdate([&] {
    TExifSection& gps = FOwner->Sections(skGps);
    TExifTag* tag = gps.Find(FCoordinateTagID);
    if (!tag) tag = gps.AddTag(FCoordinateTagID, type, count);
    tag->UpdateData(type, count, std::span<const std::uint8_t>(bytes));
    SetDirection(direction);
  });
}

}  // namespace Zorp::Exif
