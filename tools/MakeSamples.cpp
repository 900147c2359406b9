// quorvane-make-samples OUTDIR: writes the sample photos of samples/. Each is a small picture drawn
// here, encoded as a JPEG and given its metadata through the library's own writer: camera, dates,
// exposure, GPS, a thumbnail, XMP text and, in all but one, a MakerNote in the Canon, Nikon type 3 or
// Sony layout. Nothing depends on the clock, the locale or the time zone, so the same build writes
// the same bytes every time.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "zorp/base/DateTime.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/JPEGImage.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/StreamHelper.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPUtils.h"

namespace {

using namespace Zorp::Exif;
using Zorp::Base::EncodeDateTime;
using Zorp::Base::TJPEGImage;
using Zorp::Base::TMemoryStream;

constexpr int PhotoWidth = 400;
constexpr int PhotoHeight = 300;
constexpr int ThumbnailWidth = 160;
constexpr int ThumbnailHeight = 120;
constexpr int PhotoQuality = 80;
constexpr int ThumbnailQuality = 75;

// ---- Drawing ----

struct TColour {
  int R = 0, G = 0, B = 0;
};

TColour Mix(TColour a, TColour b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {static_cast<int>(a.R + (b.R - a.R) * t + 0.5), static_cast<int>(a.G + (b.G - a.G) * t + 0.5),
          static_cast<int>(a.B + (b.B - a.B) * t + 0.5)};
}

// A scene is a colour for every point of the unit square (u to the right, v downwards), so that the
// photo and its thumbnail show the same picture at any size.
using TScene = std::function<TColour(double u, double v)>;

// Renders the scene with four samples per pixel, which keeps edges smooth and the JPEG small.
std::vector<std::uint8_t> Render(const TScene& scene, int width, int height) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  std::size_t at = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      int r = 0, g = 0, b = 0;
      for (double dy : {0.25, 0.75})
        for (double dx : {0.25, 0.75}) {
          const TColour c = scene((x + dx) / width, (y + dy) / height);
          r += c.R, g += c.G, b += c.B;
        }
      for (int sum : {r, g, b}) rgb[at++] = static_cast<std::uint8_t>(std::clamp((sum + 2) / 4, 0, 255));
    }
  return rgb;
}

// A rounded bump of the given height, centre and half width; 0 outside.
double Bump(double u, double centre, double halfWidth, double height) {
  const double d = (u - centre) / halfWidth;
  return d * d < 1 ? height * (1 - d * d) : 0;
}

double DistanceSquared(double u, double v, double cu, double cv) {
  // Pixels are square: u spans 4/3 of v's length.
  const double du = (u - cu) * 4 / 3, dv = v - cv;
  return du * du + dv * dv;
}

// A fixed pseudo-random sequence (a linear congruential generator): the same on every run.
class TSequence {
 public:
  explicit TSequence(std::uint32_t seed) : FState(seed) {}
  double Next() {
    FState = FState * 1664525u + 1013904223u;
    return (FState >> 8) / 16777216.0;
  }

 private:
  std::uint32_t FState;
};

TColour SunsetScene(double u, double v) {
  const double farHill = 0.66 - Bump(u, 0.2, 0.35, 0.12) - Bump(u, 0.75, 0.3, 0.08);
  const double nearHill = 0.86 - Bump(u, 0.55, 0.45, 0.14) - Bump(u, 0.05, 0.2, 0.05);
  if (v > nearHill) return Mix({40, 24, 40}, {20, 12, 24}, (v - nearHill) * 6);
  if (v > farHill) return Mix({96, 52, 78}, {70, 40, 66}, (v - farHill) * 5);
  const double sun = DistanceSquared(u, v, 0.62, 0.56);
  if (sun < 0.08 * 0.08) return {255, 228, 140};
  const TColour sky =
      v < 0.35 ? Mix({38, 32, 96}, {168, 84, 118}, v / 0.35) : Mix({168, 84, 118}, {252, 160, 70}, (v - 0.35) / 0.3);
  return Mix({255, 200, 110}, sky, sun / 0.06);
}

TColour LakeScene(double u, double v) {
  constexpr double Shore = 0.55;
  if (v > Shore + 0.025) {
    // The lake mirrors the land and the sky, darker, with a few bright ripples.
    const TColour mirrored = LakeScene(u, 2 * Shore + 0.05 - v);
    const TColour water = Mix(mirrored, {30, 60, 110}, 0.45);
    const bool ripple = static_cast<int>((v - Shore) * 160 + u * 3) % 7 == 0;
    return ripple ? Mix(water, {220, 235, 250}, 0.35) : water;
  }
  if (v > Shore) return {70, 110, 60};
  struct TPeak {
    double U, V, Slope;
  };
  double ridge = 1;
  for (const TPeak peak : {TPeak{0.22, 0.20, 1.1}, TPeak{0.52, 0.12, 0.9}, TPeak{0.82, 0.24, 1.3}})
    ridge = std::min(ridge, peak.V + (u > peak.U ? u - peak.U : peak.U - u) * peak.Slope);
  if (v > ridge) {
    const TColour rock = Mix({104, 112, 132}, {64, 86, 74}, (v - ridge) * 4);
    return v < ridge + 0.06 && v < 0.36 ? TColour{244, 246, 250} : rock;
  }
  return Mix({92, 150, 222}, {196, 222, 246}, v / Shore);
}

TColour ChartScene(double u, double v) {
  static constexpr TColour Bars[] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                     {235, 16, 235},  {235, 16, 16},  {16, 16, 235}};
  if (v < 0.55) return Bars[std::min(6, static_cast<int>(u * 7))];
  if (v < 0.7) {
    const int level = std::min(15, static_cast<int>(u * 16)) * 17;
    return {level, level, level};
  }
  const double ring = DistanceSquared(u, v, 0.5, 0.85);
  if (ring > 0.09 * 0.09 && ring < 0.12 * 0.12) return {250, 140, 20};
  const bool dark = (static_cast<int>(u * 8) + static_cast<int>((v - 0.7) * 8 / 0.3 * 0.5)) % 2 == 0;
  return dark ? TColour{48, 48, 56} : TColour{200, 200, 208};
}

TColour NightScene(double u, double v) {
  // Buildings along the bottom, with lit windows.
  static const std::vector<double> roofs = [] {
    TSequence sequence(7);
    std::vector<double> result;
    for (int i = 0; i < 16; ++i) result.push_back(0.62 + sequence.Next() * 0.25);
    return result;
  }();
  const int building = std::min(15, static_cast<int>(u * 16));
  if (v > roofs[building]) {
    const double wu = u * 16 - building, wv = (v - roofs[building]) * 40;
    const bool window =
        wu > 0.2 && wu < 0.8 && wv - static_cast<int>(wv) > 0.45 && (building * 7 + static_cast<int>(wv)) % 3 != 0;
    return window ? TColour{250, 210, 110} : TColour{18, 18, 30};
  }
  // A crescent moon: a bright disc with a second, sky-coloured disc over one side of it.
  if (DistanceSquared(u, v, 0.76, 0.22) < 0.07 * 0.07 && DistanceSquared(u, v, 0.735, 0.2) > 0.06 * 0.06)
    return {236, 234, 214};
  static const std::vector<std::pair<double, double>> stars = [] {
    TSequence sequence(2024);
    std::vector<std::pair<double, double>> result;
    for (int i = 0; i < 90; ++i) {
      const double u = sequence.Next();  // drawn one after the other: argument order is unspecified
      result.emplace_back(u, sequence.Next() * 0.6);
    }
    return result;
  }();
  for (const auto& [su, sv] : stars)
    if (DistanceSquared(u, v, su, sv) < 0.0035 * 0.0035) return {250, 250, 235};
  return Mix({6, 10, 34}, {30, 40, 86}, v / 0.8);
}

// ---- MakerNote directories ----

// One MakerNote directory in the making: entries in ascending ID order and, behind the directory,
// the values that do not fit an entry, each on an even position.
class TNoteDirectory {
 public:
  explicit TNoteDirectory(TByteOrder order) : FOrder(order) {}

  TNoteDirectory& Shorts(TExifTagID id, std::vector<std::uint16_t> values) {
    std::vector<std::uint8_t> bytes(values.size() * 2);
    for (std::size_t i = 0; i < values.size(); ++i) PutWord(&bytes[i * 2], FOrder, values[i]);
    return Add(id, dtShort, std::move(bytes));
  }
  TNoteDirectory& Longs(TExifTagID id, std::vector<std::uint32_t> values, TTiffDataType type = dtLong) {
    std::vector<std::uint8_t> bytes(values.size() * 4);
    for (std::size_t i = 0; i < values.size(); ++i) PutLongWord(&bytes[i * 4], FOrder, values[i]);
    return Add(id, type, std::move(bytes));
  }
  TNoteDirectory& Rationals(TExifTagID id, std::vector<TTiffRational> values) {
    std::vector<std::uint8_t> bytes(values.size() * 8);
    for (std::size_t i = 0; i < values.size(); ++i) {
      PutLongWord(&bytes[i * 8], FOrder, values[i].Numerator);
      PutLongWord(&bytes[i * 8 + 4], FOrder, values[i].Denominator);
    }
    return Add(id, dtRational, std::move(bytes));
  }
  // The text with its NUL.
  TNoteDirectory& Ascii(TExifTagID id, std::string_view text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return Add(id, dtAscii, std::move(bytes));
  }
  TNoteDirectory& Raw(TExifTagID id, TTiffDataType type, std::vector<std::uint8_t> bytes) {
    return Add(id, type, std::move(bytes));
  }

  // The MakerNote: header, then the directory, then the values. A value's offset is its position in
  // the MakerNote plus firstByteOffset, the offset its layout gives the MakerNote's first byte.
  std::vector<std::uint8_t> Build(std::string_view header, std::int64_t firstByteOffset) const {
    TMemoryStream note;
    note.Write(header.data(), static_cast<std::int64_t>(header.size()));
    WriteWord(note, FOrder, static_cast<std::uint16_t>(FEntries.size()));
    std::int64_t valuePosition = note.Position() + 12 * static_cast<std::int64_t>(FEntries.size()) + 4;
    for (const TEntry& entry : FEntries) {
      WriteWord(note, FOrder, entry.ID);
      WriteWord(note, FOrder, entry.Type);
      WriteLongWord(note, FOrder, entry.Count);
      if (entry.Bytes.size() <= 4) {
        std::uint8_t inline_[4] = {};
        std::copy(entry.Bytes.begin(), entry.Bytes.end(), inline_);
        note.Write(inline_, 4);
      } else {
        WriteLongWord(note, FOrder, static_cast<std::uint32_t>(valuePosition + firstByteOffset));
        valuePosition += static_cast<std::int64_t>(entry.Bytes.size() + entry.Bytes.size() % 2);
      }
    }
    WriteLongWord(note, FOrder, 0);  // no next directory
    for (const TEntry& entry : FEntries) {
      if (entry.Bytes.size() <= 4) continue;
      note.Write(entry.Bytes.data(), static_cast<std::int64_t>(entry.Bytes.size()));
      if (entry.Bytes.size() % 2 != 0) note.Write("", 1);
    }
    return note.Bytes();
  }

 private:
  struct TEntry {
    TExifTagID ID;
    TTiffDataType Type;
    std::uint32_t Count;
    std::vector<std::uint8_t> Bytes;  // in the directory's byte order
  };
  TNoteDirectory& Add(TExifTagID id, TTiffDataType type, std::vector<std::uint8_t> bytes) {
    const auto count = static_cast<std::uint32_t>(bytes.size() / TiffDataTypeSize(type));
    FEntries.push_back({id, type, count, std::move(bytes)});
    std::stable_sort(FEntries.begin(), FEntries.end(), [](const TEntry& a, const TEntry& b) { return a.ID < b.ID; });
    return *this;
  }

  TByteOrder FOrder;
  std::vector<TEntry> FEntries;
};

// Canon: no header, little-endian, value offsets counted from the Exif block's TIFF header.
std::vector<std::uint8_t> CanonMakerNote(std::int64_t offset) {
  // Camera settings, element by element: record length, macro mode Normal, no self-timer, quality
  // Fine, flash Off, single shot, One-Shot AF, JPEG, Large, Manual, no digital zoom, contrast,
  // saturation and sharpness Normal, ISO 100, Evaluative metering, far range, centre AF point,
  // aperture priority; then a 17-55 mm zoom with image stabilisation on.
  std::vector<std::uint16_t> settings = {0,  2, 0, 3,     0, 0, 0,     0,  0,  1, 0,  1,   0, 0, 0, 0,
                                         17, 3, 7, 12291, 3, 0, 65535, 55, 17, 1, 92, 352, 0, 0, 0, 0,
                                         0,  0, 1, 0,     0, 0, 0,     1,  0,  0, 0,  0,   0, 0, 0};
  settings[0] = static_cast<std::uint16_t>(settings.size() * 2);
  // Shot information: ISO and exposure in Canon's codes, white balance Daylight, no slow shutter,
  // centre AF point in focus, camera local control, an EOS mid-range body, no auto rotation.
  std::vector<std::uint16_t> shot = {0, 0, 160, 251, 192, 288, 65524, 1, 3, 0,   0, 0,     150, 0, 12290, 0, 0,
                                     0, 1, 0,   0,   192, 288, 251,   0, 0, 252, 0, 65535, 0,   0, 0,     0, 0};
  shot[0] = static_cast<std::uint16_t>(shot.size() * 2);
  return TNoteDirectory(boLittleEndian)
      .Shorts(0x0001, settings)
      .Shorts(0x0002, {2, 35, 0, 0})
      .Shorts(0x0004, shot)
      .Ascii(0x0006, "Canon EOS Sample JPEG")
      .Ascii(0x0007, "Firmware Version 1.0.2")
      .Longs(0x0008, {1000042})
      .Ascii(0x0009, "Quorvane samples")
      .Longs(0x000C, {2871003456u})
      .Build({}, offset);
}

// Nikon type 3: "Nikon" 00 02 10 00 00, then a TIFF header of its own (big-endian here) from which
// the value offsets count; the position of the MakerNote does not matter.
std::vector<std::uint8_t> NikonMakerNote(std::int64_t) {
  using namespace std::string_view_literals;
  return TNoteDirectory(boBigEndian)
      .Raw(0x0001, dtUndefined, {'0', '2', '1', '0'})
      .Shorts(0x0002, {0, 200})
      .Ascii(0x0004, "FINE   ")
      .Ascii(0x0005, "AUTO        ")
      .Ascii(0x0006, "NORMAL")
      .Ascii(0x0007, "AF-S  ")
      .Raw(0x0083, dtByte, {6})
      .Rationals(0x0084, {{18, 1}, {55, 1}, {35, 10}, {56, 10}})
      .Longs(0x00A7, {4821})
      .Build("Nikon\0\2\x10\0\0MM\0\x2a\0\0\0\x08"sv, -10);
}

// Sony: "SONY DSC " and three zero bytes, little-endian, value offsets counted from the Exif block's
// TIFF header.
std::vector<std::uint8_t> SonyMakerNote(std::int64_t offset) {
  using namespace std::string_view_literals;
  return TNoteDirectory(boLittleEndian)
      .Longs(0x0102, {2})
      .Longs(0x0115, {16})
      .Longs(0x2002, {3})
      .Longs(0x2004, {0}, dtSLong)
      .Longs(0x2005, {1}, dtSLong)
      .Longs(0x2006, {0}, dtSLong)
      .Ascii(0xB020, "Landscape")
      .Longs(0xB021, {0})
      .Longs(0xB026, {1})
      .Shorts(0xB041, {15})
      .Shorts(0xB042, {1})
      .Build("SONY DSC \0\0\0"sv, offset);
}

// ---- The photos ----

struct TGPSPoint {
  TTiffRational Degrees, Minutes, Seconds;
  char Direction;
};

// A signed fraction as SRATIONAL tags store it.
constexpr TTiffRational Signed(std::int32_t numerator, std::int32_t denominator) {
  return {static_cast<std::uint32_t>(numerator), static_cast<std::uint32_t>(denominator)};
}

// The camera's settings for one photo, as the Exif directory records them.
struct TExposure {
  TTiffRational Time, FNumber, ShutterSpeedValue, ApertureValue, Bias, FocalLength;
  std::uint16_t Program, ISO, MeteringMode, FocalLength35;
  bool HasFlash;  // a flash that was kept off, or none at all
};

// The camera's clock: the local time of the place and its offset from UTC.
struct TLocalTime {
  int Year, Month, Day, Hour, Minute, Second, UtcOffsetHours;
};

struct TSample {
  const char* FileName;
  TScene Scene;
  const char* Title;
  const char* Keywords;
  TWindowsStarRating Rating;
  const char* Make;
  const char* Model;
  TByteOrder ByteOrder;
  TLocalTime Taken;
  TExposure Exposure;
  TGPSPoint Latitude, Longitude;
  TTiffRational Altitude;
  // The MakerNote for its offset from the TIFF header; none without.
  std::vector<std::uint8_t> (*MakerNote)(std::int64_t offset);
};

void SetTag(TExifSection& section, TExifTagID id, TTiffDataType type, std::int32_t count, const void* values) {
  section.AddOrUpdateTag(id, type, count, values);
}
void SetShort(TExifSection& section, TExifTagID id, std::uint16_t value) { SetTag(section, id, dtShort, 1, &value); }
void SetRational(TExifSection& section, TExifTagID id, TTiffRational value, TTiffDataType type = dtRational) {
  SetTag(section, id, type, 1, &value);
}


// Everything but the MakerNote's contents: a MakerNote gets zero bytes of its final size, to be
// filled in once the save has given it its place.
void Describe(TExifData& data, const TSample& sample, std::size_t makerNoteSize) {
  data.SetByteOrder(sample.ByteOrder);
  data.XMPPacket().SetWritePolicy(wpUpdateOrAdd);
  TExifSection& primary = data.Sections(skPrimary);
  TExifSection& exif = data.Sections(skExif);
  data.SetCameraMake(sample.Make);
  data.SetCameraModel(sample.Model);
  data.SetOrientation(toTopLeft);
  data.Resolution().SetX({72, 1});
  data.Resolution().SetY({72, 1});
  data.Resolution().SetUnit(2);
  data.SetSoftware("quorvane-make-samples");
  SetShort(primary, ttYCbCrPositioning, 1);
  data.SetCopyright("Quorvane project, CC0 1.0");
  data.SetAuthor("Quorvane sample generator");
  data.SetTitle(sample.Title);
  data.SetKeywords(sample.Keywords);
  data.SetUserRating(sample.Rating);

  // The local offset first, so that the XMP dates carry it.
  const std::string utcOffset = Zorp::Base::Format("%+.2d:00", sample.Taken.UtcOffsetHours);
  for (TExifTagID id : {ttOffsetTime, ttOffsetTimeOriginal, ttOffsetTimeDigitized}) exif.SetStringValue(id, utcOffset);
  const Zorp::Base::TDateTime taken = EncodeDateTime(sample.Taken.Year, sample.Taken.Month, sample.Taken.Day,
                                                     sample.Taken.Hour, sample.Taken.Minute, sample.Taken.Second, 0);
  data.SetDateTime(taken);
  data.SetDateTimeOriginal(taken);
  data.SetDateTimeDigitized(taken);
  data.ExifVersion().SetAsString("2.32");
  data.FlashPixVersion().SetAsString("1.00");
  const std::uint8_t components[4] = {1, 2, 3, 0};
  SetTag(exif, ttComponentsConfiguration, dtUndefined, 4, components);
  SetRational(exif, ttExposureTime, sample.Exposure.Time);
  SetRational(exif, ttFNumber, sample.Exposure.FNumber);
  SetShort(exif, ttExposureProgram, sample.Exposure.Program);
  SetShort(exif, ttISOSpeedRatings, sample.Exposure.ISO);
  SetRational(exif, ttShutterSpeedValue, sample.Exposure.ShutterSpeedValue, dtSRational);
  SetRational(exif, ttApertureValue, sample.Exposure.ApertureValue);
  SetRational(exif, ttExposureBiasValue, sample.Exposure.Bias, dtSRational);
  SetShort(exif, ttMeteringMode, sample.Exposure.MeteringMode);
  if (sample.Exposure.HasFlash) {
    data.Flash().SetMode(efCompulsorySuppression);
    data.Flash().SetFired(false);
  } else {
    data.Flash().SetPresent(false);
  }
  SetRational(exif, ttFocalLength, sample.Exposure.FocalLength);
  SetShort(exif, ttColorSpace, 1);
  data.SetExifImageWidth({PhotoWidth, false});
  data.SetExifImageHeight({PhotoHeight, false});
  SetShort(exif, ttExposureMode, sample.Exposure.Program == 1 ? 1 : 0);
  SetShort(exif, ttWhiteBalance, 0);
  data.SetFocalLengthIn35mmFilm(sample.Exposure.FocalLength35);
  SetShort(exif, ttSceneCaptureType, 0);
  if (makerNoteSize > 0) {
    const std::vector<std::uint8_t> zeros(makerNoteSize);
    SetTag(exif, ttMakerNote, dtUndefined, static_cast<std::int32_t>(makerNoteSize), zeros.data());
  }
  data.SetInteropTypeName("R98");
  data.InteropVersion().SetAsString("1.00");

  data.GPSVersion().SetAsString("2.30");
  const TGPSPoint& north = sample.Latitude;
  const TGPSPoint& east = sample.Longitude;
  data.GPSLatitude().SetValue(north.Degrees, north.Minutes, north.Seconds, north.Direction);
  data.GPSLongitude().SetValue(east.Degrees, east.Minutes, east.Seconds, east.Direction);
  data.SetGPSAltitudeRef(alAboveSeaLevel);
  SetRational(data.Sections(skGps), ttGPSAltitude, sample.Altitude);
  data.SetGPSMapDatum("WGS-84");
  // The camera's clock runs at the local time of the place; GPS time is UTC (the same day for all).
  data.SetGPSDateTimeUTC(EncodeDateTime(sample.Taken.Year, sample.Taken.Month, sample.Taken.Day,
                                        sample.Taken.Hour - sample.Taken.UtcOffsetHours, sample.Taken.Minute,
                                        sample.Taken.Second, 0));

  TJPEGImage thumbnail;
  thumbnail.SetCompressionQuality(ThumbnailQuality);
  const std::vector<std::uint8_t> pixels = Render(sample.Scene, ThumbnailWidth, ThumbnailHeight);
  thumbnail.AssignRGB(pixels.data(), ThumbnailWidth, ThumbnailHeight);
  data.SetThumbnail(&thumbnail);
  data.ThumbnailResolution().SetX({72, 1});
  data.ThumbnailResolution().SetY({72, 1});
  data.ThumbnailResolution().SetUnit(2);
}

[[noreturn]] void Fail(const TSample& sample, const std::string& why) {
  throw std::runtime_error(std::string(sample.FileName) + ": " + why);
}

// The photo's bytes: the picture, saved once with a placeholder MakerNote; then loaded back, the
// MakerNote given its real contents for the place the save gave it (Canon and Sony count their value
// offsets from the TIFF header) and saved again, since a loaded MakerNote keeps its place.
std::vector<std::uint8_t> MakePhoto(const TSample& sample) {
  TJPEGImage picture;
  picture.SetCompressionQuality(PhotoQuality);
  const std::vector<std::uint8_t> pixels = Render(sample.Scene, PhotoWidth, PhotoHeight);
  picture.AssignRGB(pixels.data(), PhotoWidth, PhotoHeight);
  TMemoryStream plain;
  picture.SaveToStream(plain);

  const std::size_t makerNoteSize = sample.MakerNote ? sample.MakerNote(0).size() : 0;
  TExifData data;
  Describe(data, sample, makerNoteSize);
  TMemoryStream first;
  plain.SetPosition(0);
  data.SaveToJPEG(plain, first);
  if (!sample.MakerNote) return first.Bytes();

  TExifData placed;
  first.SetPosition(0);
  placed.LoadFromJPEG(first);
  TExifTag* tag = placed.Sections(skExif).Find(ttMakerNote);
  if (!tag) Fail(sample, "the MakerNote was not written");
  const std::vector<std::uint8_t> note = sample.MakerNote(tag->SourceDataOffset());
  tag->SetRawData(std::span<const std::uint8_t>(note));
  TMemoryStream second;
  first.SetPosition(0);
  placed.SaveToJPEG(first, second);

  // The photo must read back with the MakerNote in its maker's layout, every tag read cleanly.
  TExifData check;
  second.SetPosition(0);
  check.LoadFromJPEG(second);
  const TExifSection& tags = check.Sections(skMakerNote);
  if (&check.MakerNoteType() == &THeaderlessMakerNote || tags.Count() == 0 || !tags.LoadErrors().Empty())
    Fail(sample, std::string("the MakerNote reads back as ") + check.MakerNoteType().Name + " with " +
                     std::to_string(tags.Count()) + " tags");
  return second.Bytes();
}

// clang-format off
const std::vector<TSample>& Samples() {
  static const std::vector<TSample> samples = {
      {"canon-sunset.jpg", SunsetScene, "Sunset over the hills", "sunset;hills;sample", urFourStars,
       "Canon", "Canon EOS Sample", boLittleEndian, {2023, 6, 21, 21, 14, 5, +2},
       {.Time = {1, 500}, .FNumber = {8, 1}, .ShutterSpeedValue = Signed(8966, 1000), .ApertureValue = {6, 1},
        .Bias = Signed(-1, 3), .FocalLength = {35, 1}, .Program = 3, .ISO = 100, .MeteringMode = 5,
        .FocalLength35 = 56, .HasFlash = true},
       {{46, 1}, {30, 1}, {36, 1}, 'N'}, {{6, 1}, {37, 1}, {48, 1}, 'E'}, {4125, 10}, CanonMakerNote},
      {"nikon-lake.jpg", LakeScene, "Mountain lake in the morning", "lake;mountains;sample", urFiveStars,
       "NIKON CORPORATION", "NIKON D-SAMPLE", boBigEndian, {2022, 8, 14, 10, 32, 48, +2},
       {.Time = {1, 320}, .FNumber = {11, 1}, .ShutterSpeedValue = Signed(8322, 1000), .ApertureValue = {6919, 1000},
        .Bias = Signed(0, 1), .FocalLength = {24, 1}, .Program = 2, .ISO = 200, .MeteringMode = 5,
        .FocalLength35 = 36, .HasFlash = true},
       {{46, 1}, {33, 1}, {12, 1}, 'N'}, {{7, 1}, {58, 1}, {31, 1}, 'E'}, {18504, 10}, NikonMakerNote},
      {"sony-chart.jpg", ChartScene, "Colour bars and grey steps", "chart;colours;sample", urThreeStars,
       "SONY", "DSC-SAMPLE", boLittleEndian, {2024, 3, 5, 14, 2, 30, +1},
       {.Time = {1, 60}, .FNumber = {4, 1}, .ShutterSpeedValue = Signed(5907, 1000), .ApertureValue = {4, 1},
        .Bias = Signed(0, 1), .FocalLength = {50, 1}, .Program = 1, .ISO = 400, .MeteringMode = 2,
        .FocalLength35 = 75, .HasFlash = true},
       {{52, 1}, {22, 1}, {8, 1}, 'N'}, {{4, 1}, {53, 1}, {32, 1}, 'E'}, {25, 10}, SonyMakerNote},
      {"night-city.jpg", NightScene, "Crescent moon over the city", "night;moon;sample", urTwoStars,
       "Quorvane", "Pinhole Night", boBigEndian, {2021, 12, 31, 23, 45, 0, +1},
       {.Time = {4, 1}, .FNumber = {28, 10}, .ShutterSpeedValue = Signed(-2000, 1000), .ApertureValue = {2971, 1000},
        .Bias = Signed(0, 1), .FocalLength = {28, 1}, .Program = 1, .ISO = 1600, .MeteringMode = 2,
        .FocalLength35 = 28, .HasFlash = false},
       {{59, 1}, {19, 1}, {45, 1}, 'N'}, {{18, 1}, {4, 1}, {18, 1}, 'E'}, {280, 10}, nullptr},
  };
  return samples;
}
// clang-format on

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quorvane-make-samples OUTDIR\n");
    return 2;
  }
  try {
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    for (const TSample& sample : Samples()) {
      const std::vector<std::uint8_t> bytes = MakePhoto(sample);
      TMemoryStream file;
      file.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
      file.SaveToFile((folder / sample.FileName).string());
      std::printf("%s: %zu bytes\n", sample.FileName, bytes.size());
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quorvane-make-samples: %s\n", error.what());
    return 1;
  }
  return 0;
}
