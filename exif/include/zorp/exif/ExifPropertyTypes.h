#pragma once
// The enumerated types of the container's named properties. Ordinals are the positions in each list;
// how each is stored in its tag is told beside it.

#include <cstdint>

namespace Zorp::Exif {

// Windows star rating, tag 0x4746: SHORT 1..5; urUndefined means no tag.
enum TWindowsStarRating : std::uint8_t {
  urUndefined = 0,
  urOneStar = 1,
  urTwoStars = 2,
  urThreeStars = 3,
  urFourStars = 4,
  urFiveStars = 5
};

// Tag 0x0112: SHORT 1..8; toUndefined means no tag.
enum TTiffOrientation : std::uint8_t {
  toUndefined = 0,
  toTopLeft = 1,
  toTopRight = 2,
  toBottomRight = 3,
  toBottomLeft = 4,
  toLeftTop = 5,
  toRightTop = 6,
  toRightBottom = 7,
  toLeftBottom = 8
};

// Tag 0xA300: UNDEFINED byte 1..3; fsUnknown means no tag.
enum TExifFileSource : std::uint8_t {
  fsUnknown = 0,
  fsFilmScanner = 1,
  fsReflectionPrintScanner = 2,
  fsDigitalCamera = 3
};

// Tag 0xA301: UNDEFINED byte 1; esUnknown means no tag.
enum TExifSceneType : std::uint8_t { esUnknown = 0, esDirectlyPhotographed = 1 };

// GPS tag 0x0005: BYTE 0 (above) or 1 (below), the ordinal minus 1; alTagMissing means no tag.
enum TGPSAltitudeRef : std::uint8_t { alTagMissing = 0, alAboveSeaLevel = 1, alBelowSeaLevel = 2 };

// The GPS reference letters; the first member of each stands for a missing tag.
enum TGPSStatus : std::uint8_t { stMissingOrInvalid = 0, stMeasurementActive = 1, stMeasurementVoid = 2 };  // "A", "V"
enum TGPSMeasureMode : std::uint8_t { mmUnknown = 0, mm2D = 1, mm3D = 2 };                                  // "2", "3"
enum TGPSSpeedRef : std::uint8_t {
  srMissingOrInvalid = 0,
  srKilometresPerHour = 1,  // "K"
  srMilesPerHour = 2,       // "M"
  srKnots = 3               // "N"
};
enum TGPSDirectionRef : std::uint8_t { drMissingOrInvalid = 0, drTrueNorth = 1, drMagneticNorth = 2 };  // "T", "M"
enum TGPSDistanceRef : std::uint8_t {
  dsMissingOrInvalid = 0,
  dsKilometres = 1,  // "K"
  dsMiles = 2,       // "M"
  dsKnots = 3        // "N"
};

// The flash mode, bits 4..3 of the stored flash value.
enum TExifFlashMode : std::uint8_t { efUnknown = 0, efCompulsoryFire = 1, efCompulsorySuppression = 2, efAuto = 3 };
// The strobe return light, bits 2..1 of the stored flash value.
enum TExifStrobeLight : std::uint8_t { esNoDetectionFunction = 0, esUndetected = 1, esDetected = 2 };

// One element of a version tag (major, minor or release).
using TExifVersionElement = std::uint8_t;

// The subject location, tag 0xA214: both 0xFFFF when it is missing.
struct TSmallPoint {
  std::uint16_t X = 0xFFFF;
  std::uint16_t Y = 0xFFFF;
  bool operator==(const TSmallPoint&) const = default;
};

}  // namespace Zorp::Exif
