#include "zorp/exif/TagNames.h"

#include <algorithm>
#include <span>

namespace Zorp::Exif {

namespace {

struct TTagName {
  TExifTagID ID;
  const char* Name;
};

// IFD0 and IFD1: the TIFF tags that Exif uses, the sub-directory pointers and the Windows tags.
constexpr TTagName PrimaryNames[] = {
    {ttImageWidth, "ImageWidth"},
    {ttImageLength, "ImageLength"},
    {ttBitsPerSample, "BitsPerSample"},
    {ttCompression, "Compression"},
    {ttPhotometricInterpretation, "PhotometricInterpretation"},
    {ttImageDescription, "ImageDescription"},
    {ttMake, "Make"},
    {ttModel, "Model"},
    {ttStripOffsets, "StripOffsets"},
    {ttOrientation, "Orientation"},
    {ttSamplesPerPixel, "SamplesPerPixel"},
    {ttRowsPerStrip, "RowsPerStrip"},
    {ttStripByteCounts, "StripByteCounts"},
    {ttXResolution, "XResolution"},
    {ttYResolution, "YResolution"},
    {ttPlanarConfiguration, "PlanarConfiguration"},
    {ttResolutionUnit, "ResolutionUnit"},
    {ttTransferFunction, "TransferFunction"},
    {ttSoftware, "Software"},
    {ttDateTime, "DateTime"},
    {ttArtist, "Artist"},
    {ttWhitePoint, "WhitePoint"},
    {ttPrimaryChromaticities, "PrimaryChromaticities"},
    {ttJPEGInterchangeFormat, "JPEGInterchangeFormat"},
    {ttJPEGInterchangeFormatLength, "JPEGInterchangeFormatLength"},
    {ttYCbCrCoefficients, "YCbCrCoefficients"},
    {ttYCbCrSubSampling, "YCbCrSubSampling"},
    {ttYCbCrPositioning, "YCbCrPositioning"},
    {ttReferenceBlackWhite, "ReferenceBlackWhite"},
    {ttRating, "Rating"},
    {ttRatingPercent, "RatingPercent"},
    {ttCopyright, "Copyright"},
    {ttExifIFDPointer, "ExifIFDPointer"},
    {ttGPSInfoIFDPointer, "GPSInfoIFDPointer"},
    {ttXPTitle, "XPTitle"},
    {ttXPComment, "XPComment"},
    {ttXPAuthor, "XPAuthor"},
    {ttXPKeywords, "XPKeywords"},
    {ttXPSubject, "XPSubject"},
    {ttPadding, "Padding"},
};

// The Exif directory. Numbers without a constant in TagIDs.h are written out.
constexpr TTagName ExifNames[] = {
    {ttExposureTime, "ExposureTime"},
    {ttFNumber, "FNumber"},
    {ttExposureProgram, "ExposureProgram"},
    {ttSpectralSensitivity, "SpectralSensitivity"},
    {ttISOSpeedRatings, "PhotographicSensitivity"},  // ISOSpeedRatings before Exif 2.3
    {ttOECF, "OECF"},
    {0x8830, "SensitivityType"},
    {0x8831, "StandardOutputSensitivity"},
    {0x8832, "RecommendedExposureIndex"},
    {0x8833, "ISOSpeed"},
    {0x8834, "ISOSpeedLatitudeyyy"},
    {0x8835, "ISOSpeedLatitudezzz"},
    {ttExifVersion, "ExifVersion"},
    {ttDateTimeOriginal, "DateTimeOriginal"},
    {ttDateTimeDigitized, "DateTimeDigitized"},
    {ttOffsetTime, "OffsetTime"},
    {ttOffsetTimeOriginal, "OffsetTimeOriginal"},
    {ttOffsetTimeDigitized, "OffsetTimeDigitized"},
    {ttComponentsConfiguration, "ComponentsConfiguration"},
    {ttCompressedBitsPerPixel, "CompressedBitsPerPixel"},
    {ttShutterSpeedValue, "ShutterSpeedValue"},
    {ttApertureValue, "ApertureValue"},
    {ttBrightnessValue, "BrightnessValue"},
    {ttExposureBiasValue, "ExposureBiasValue"},
    {ttMaxApertureValue, "MaxApertureValue"},
    {ttSubjectDistance, "SubjectDistance"},
    {ttMeteringMode, "MeteringMode"},
    {ttLightSource, "LightSource"},
    {ttFlash, "Flash"},
    {ttFocalLength, "FocalLength"},
    {ttSubjectArea, "SubjectArea"},
    {ttMakerNote, "MakerNote"},
    {ttUserComment, "UserComment"},
    {ttSubsecTime, "SubSecTime"},
    {ttSubsecTimeOriginal, "SubSecTimeOriginal"},
    {ttSubsecTimeDigitized, "SubSecTimeDigitized"},
    {0x9400, "Temperature"},
    {0x9401, "Humidity"},
    {0x9402, "Pressure"},
    {0x9403, "WaterDepth"},
    {0x9404, "Acceleration"},
    {0x9405, "CameraElevationAngle"},
    {ttFlashPixVersion, "FlashpixVersion"},
    {ttColorSpace, "ColorSpace"},
    {ttPixelXDimension, "PixelXDimension"},
    {ttPixelYDimension, "PixelYDimension"},
    {ttRelatedSoundFile, "RelatedSoundFile"},
    {ttInteroperabilityIFDPointer, "InteroperabilityIFDPointer"},
    {ttFlashEnergy, "FlashEnergy"},
    {ttSpatialFrequencyResponse, "SpatialFrequencyResponse"},
    {ttFocalPlaneXResolution, "FocalPlaneXResolution"},
    {ttFocalPlaneYResolution, "FocalPlaneYResolution"},
    {ttFocalPlaneResolutionUnit, "FocalPlaneResolutionUnit"},
    {ttSubjectLocation, "SubjectLocation"},
    {ttExposureIndex, "ExposureIndex"},
    {ttSensingMethod, "SensingMethod"},
    {ttFileSource, "FileSource"},
    {ttSceneType, "SceneType"},
    {ttCFAPattern, "CFAPattern"},
    {ttCustomRendered, "CustomRendered"},
    {ttExposureMode, "ExposureMode"},
    {ttWhiteBalance, "WhiteBalance"},
    {ttDigitalZoomRatio, "DigitalZoomRatio"},
    {ttFocalLengthIn35mmFilm, "FocalLengthIn35mmFilm"},
    {ttSceneCaptureType, "SceneCaptureType"},
    {ttGainControl, "GainControl"},
    {ttContrast, "Contrast"},
    {ttSaturation, "Saturation"},
    {ttSharpness, "Sharpness"},
    {ttDeviceSettingDescription, "DeviceSettingDescription"},
    {ttSubjectDistanceRange, "SubjectDistanceRange"},
    {ttImageUniqueID, "ImageUniqueID"},
    {0xA430, "CameraOwnerName"},
    {0xA431, "BodySerialNumber"},
    {0xA432, "LensSpecification"},
    {0xA433, "LensMake"},
    {0xA434, "LensModel"},
    {0xA435, "LensSerialNumber"},
    {0xA460, "CompositeImage"},
    {0xA461, "SourceImageNumberOfCompositeImage"},
    {0xA462, "SourceExposureTimesOfCompositeImage"},
    {0xA500, "Gamma"},
    {ttPadding, "Padding"},
    {ttOffsetSchema, "OffsetSchema"},
};

constexpr TTagName GpsNames[] = {
    {ttGPSVersionID, "GPSVersionID"},
    {ttGPSLatitudeRef, "GPSLatitudeRef"},
    {ttGPSLatitude, "GPSLatitude"},
    {ttGPSLongitudeRef, "GPSLongitudeRef"},
    {ttGPSLongitude, "GPSLongitude"},
    {ttGPSAltitudeRef, "GPSAltitudeRef"},
    {ttGPSAltitude, "GPSAltitude"},
    {ttGPSTimeStamp, "GPSTimeStamp"},
    {ttGPSSatellites, "GPSSatellites"},
    {ttGPSStatus, "GPSStatus"},
    {ttGPSMeasureMode, "GPSMeasureMode"},
    {ttGPSDOP, "GPSDOP"},
    {ttGPSSpeedRef, "GPSSpeedRef"},
    {ttGPSSpeed, "GPSSpeed"},
    {ttGPSTrackRef, "GPSTrackRef"},
    {ttGPSTrack, "GPSTrack"},
    {ttGPSImgDirectionRef, "GPSImgDirectionRef"},
    {ttGPSImgDirection, "GPSImgDirection"},
    {ttGPSMapDatum, "GPSMapDatum"},
    {ttGPSDestLatitudeRef, "GPSDestLatitudeRef"},
    {ttGPSDestLatitude, "GPSDestLatitude"},
    {ttGPSDestLongitudeRef, "GPSDestLongitudeRef"},
    {ttGPSDestLongitude, "GPSDestLongitude"},
    {ttGPSDestBearingRef, "GPSDestBearingRef"},
    {ttGPSDestBearing, "GPSDestBearing"},
    {ttGPSDestDistanceRef, "GPSDestDistanceRef"},
    {ttGPSDestDistance, "GPSDestDistance"},
    {ttGPSProcessingMethod, "GPSProcessingMethod"},
    {ttGPSAreaInformation, "GPSAreaInformation"},
    {ttGPSDateStamp, "GPSDateStamp"},
    {ttGPSDifferential, "GPSDifferential"},
    {0x001F, "GPSHPositioningError"},
};

constexpr TTagName InteropNames[] = {
    {ttInteroperabilityIndex, "InteroperabilityIndex"},
    {ttInteroperabilityVersion, "InteroperabilityVersion"},
    {ttRelatedImageFileFormat, "RelatedImageFileFormat"},
    {ttRelatedImageWidth, "RelatedImageWidth"},
    {ttRelatedImageLength, "RelatedImageLength"},
};

// The lookup below is a binary search: every table must rise strictly by ID.
constexpr bool StrictlyRising(std::span<const TTagName> table) {
  return std::adjacent_find(table.begin(), table.end(),
                            [](const TTagName& a, const TTagName& b) { return a.ID >= b.ID; }) == table.end();
}
static_assert(StrictlyRising(PrimaryNames));
static_assert(StrictlyRising(ExifNames));
static_assert(StrictlyRising(GpsNames));
static_assert(StrictlyRising(InteropNames));

std::span<const TTagName> TableOf(TExifSectionKind kind) {
  switch (kind) {
    case skPrimary:
    case skThumbnail:
      return PrimaryNames;
    case skExif:
      return ExifNames;
    case skGps:
      return GpsNames;
    case skInterop:
      return InteropNames;
    default:
      return {};
  }
}

}  // namespace

const char* StandardTagName(TExifSectionKind kind, TExifTagID id) {
  const auto table = TableOf(kind);
  const auto found = std::lower_bound(table.begin(), table.end(), id,
                                      [](const TTagName& entry, TExifTagID key) { return entry.ID < key; });
  return found != table.end() && found->ID == id ? found->Name : nullptr;
}

}  // namespace Zorp::Exif
