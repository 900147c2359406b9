#pragma once
// Tag numbers of the TIFF/Exif directories, named after their TIFF, Exif and Windows names.
// One number may mean different things in different directories (GPS and interoperability
// numbers start again at 0), so each group is listed with the directory it belongs to.

#include <cstdint>

namespace Zorp::Exif {

using TExifTagID = std::uint16_t;

// ---- The main directory (IFD0) and the thumbnail directory (IFD1): TIFF tags ----
inline constexpr TExifTagID ttImageWidth = 0x0100;
inline constexpr TExifTagID ttImageLength = 0x0101;
inline constexpr TExifTagID ttBitsPerSample = 0x0102;
inline constexpr TExifTagID ttCompression = 0x0103;
inline constexpr TExifTagID ttPhotometricInterpretation = 0x0106;
inline constexpr TExifTagID ttImageDescription = 0x010E;
inline constexpr TExifTagID ttMake = 0x010F;
inline constexpr TExifTagID ttModel = 0x0110;
inline constexpr TExifTagID ttStripOffsets = 0x0111;
inline constexpr TExifTagID ttOrientation = 0x0112;
inline constexpr TExifTagID ttSamplesPerPixel = 0x0115;
inline constexpr TExifTagID ttRowsPerStrip = 0x0116;
inline constexpr TExifTagID ttStripByteCounts = 0x0117;
inline constexpr TExifTagID ttXResolution = 0x011A;
inline constexpr TExifTagID ttYResolution = 0x011B;
inline constexpr TExifTagID ttPlanarConfiguration = 0x011C;
inline constexpr TExifTagID ttResolutionUnit = 0x0128;
inline constexpr TExifTagID ttTransferFunction = 0x012D;
inline constexpr TExifTagID ttTileOffsets = 0x0144;
inline constexpr TExifTagID ttTileByteCounts = 0x0145;
inline constexpr TExifTagID ttSoftware = 0x0131;
inline constexpr TExifTagID ttDateTime = 0x0132;
inline constexpr TExifTagID ttArtist = 0x013B;
inline constexpr TExifTagID ttWhitePoint = 0x013E;
inline constexpr TExifTagID ttPrimaryChromaticities = 0x013F;
// Where the thumbnail JPEG starts in the Exif block, and its length.
inline constexpr TExifTagID ttJPEGInterchangeFormat = 0x0201;
inline constexpr TExifTagID ttJPEGInterchangeFormatLength = 0x0202;
inline constexpr TExifTagID ttYCbCrCoefficients = 0x0211;
inline constexpr TExifTagID ttYCbCrSubSampling = 0x0212;
inline constexpr TExifTagID ttYCbCrPositioning = 0x0213;
inline constexpr TExifTagID ttReferenceBlackWhite = 0x0214;
inline constexpr TExifTagID ttCopyright = 0x8298;

// Pointers to the sub-directories: Exif and GPS in IFD0, interoperability in the Exif directory.
inline constexpr TExifTagID ttExifIFDPointer = 0x8769;
inline constexpr TExifTagID ttGPSInfoIFDPointer = 0x8825;
inline constexpr TExifTagID ttInteroperabilityIFDPointer = 0xA005;

// Windows additions to IFD0: the star rating and its percentage, and the UTF-16LE text tags.
inline constexpr TExifTagID ttRating = 0x4746;
inline constexpr TExifTagID ttRatingPercent = 0x4749;
inline constexpr TExifTagID ttXPTitle = 0x9C9B;
inline constexpr TExifTagID ttXPComment = 0x9C9C;
inline constexpr TExifTagID ttXPAuthor = 0x9C9D;
inline constexpr TExifTagID ttXPKeywords = 0x9C9E;
inline constexpr TExifTagID ttXPSubject = 0x9C9F;
inline constexpr TExifTagID ttFirstWindowsTextTag = ttXPTitle;
inline constexpr TExifTagID ttLastWindowsTextTag = ttXPSubject;

// Windows padding and the MakerNote offset schema (both may appear in any directory; the
// schema in the Exif directory).
inline constexpr TExifTagID ttPadding = 0xEA1C;
inline constexpr TExifTagID ttOffsetSchema = 0xEA1D;

// ---- The Exif directory ----
inline constexpr TExifTagID ttExposureTime = 0x829A;
inline constexpr TExifTagID ttFNumber = 0x829D;
inline constexpr TExifTagID ttExposureProgram = 0x8822;
inline constexpr TExifTagID ttSpectralSensitivity = 0x8824;
inline constexpr TExifTagID ttISOSpeedRatings = 0x8827;
inline constexpr TExifTagID ttOECF = 0x8828;
inline constexpr TExifTagID ttExifVersion = 0x9000;
inline constexpr TExifTagID ttDateTimeOriginal = 0x9003;
inline constexpr TExifTagID ttDateTimeDigitized = 0x9004;
inline constexpr TExifTagID ttOffsetTime = 0x9010;           // "+hh:mm" of DateTime
inline constexpr TExifTagID ttOffsetTimeOriginal = 0x9011;   // of DateTimeOriginal
inline constexpr TExifTagID ttOffsetTimeDigitized = 0x9012;  // of DateTimeDigitized
inline constexpr TExifTagID ttComponentsConfiguration = 0x9101;
inline constexpr TExifTagID ttCompressedBitsPerPixel = 0x9102;
inline constexpr TExifTagID ttShutterSpeedValue = 0x9201;
inline constexpr TExifTagID ttApertureValue = 0x9202;
inline constexpr TExifTagID ttBrightnessValue = 0x9203;
inline constexpr TExifTagID ttExposureBiasValue = 0x9204;
inline constexpr TExifTagID ttMaxApertureValue = 0x9205;
inline constexpr TExifTagID ttSubjectDistance = 0x9206;
inline constexpr TExifTagID ttMeteringMode = 0x9207;
inline constexpr TExifTagID ttLightSource = 0x9208;
inline constexpr TExifTagID ttFlash = 0x9209;
inline constexpr TExifTagID ttFocalLength = 0x920A;
inline constexpr TExifTagID ttSubjectArea = 0x9214;
inline constexpr TExifTagID ttMakerNote = 0x927C;
inline constexpr TExifTagID ttUserComment = 0x9286;
inline constexpr TExifTagID ttSubsecTime = 0x9290;
inline constexpr TExifTagID ttSubsecTimeOriginal = 0x9291;
inline constexpr TExifTagID ttSubsecTimeDigitized = 0x9292;
inline constexpr TExifTagID ttFlashPixVersion = 0xA000;
inline constexpr TExifTagID ttColorSpace = 0xA001;
// The image's pixel size, also known as ExifImageWidth and ExifImageHeight.
inline constexpr TExifTagID ttPixelXDimension = 0xA002;
inline constexpr TExifTagID ttPixelYDimension = 0xA003;
inline constexpr TExifTagID ttExifImageWidth = ttPixelXDimension;
inline constexpr TExifTagID ttExifImageHeight = ttPixelYDimension;
inline constexpr TExifTagID ttRelatedSoundFile = 0xA004;
inline constexpr TExifTagID ttFlashEnergy = 0xA20B;
inline constexpr TExifTagID ttSpatialFrequencyResponse = 0xA20C;
inline constexpr TExifTagID ttFocalPlaneXResolution = 0xA20E;
inline constexpr TExifTagID ttFocalPlaneYResolution = 0xA20F;
inline constexpr TExifTagID ttFocalPlaneResolutionUnit = 0xA210;
inline constexpr TExifTagID ttSubjectLocation = 0xA214;
inline constexpr TExifTagID ttExposureIndex = 0xA215;
inline constexpr TExifTagID ttSensingMethod = 0xA217;
inline constexpr TExifTagID ttFileSource = 0xA300;
inline constexpr TExifTagID ttSceneType = 0xA301;
inline constexpr TExifTagID ttCFAPattern = 0xA302;
inline constexpr TExifTagID ttCustomRendered = 0xA401;
inline constexpr TExifTagID ttExposureMode = 0xA402;
inline constexpr TExifTagID ttWhiteBalance = 0xA403;
inline constexpr TExifTagID ttDigitalZoomRatio = 0xA404;
inline constexpr TExifTagID ttFocalLengthIn35mmFilm = 0xA405;
inline constexpr TExifTagID ttSceneCaptureType = 0xA406;
inline constexpr TExifTagID ttGainControl = 0xA407;
inline constexpr TExifTagID ttContrast = 0xA408;
inline constexpr TExifTagID ttSaturation = 0xA409;
inline constexpr TExifTagID ttSharpness = 0xA40A;
inline constexpr TExifTagID ttDeviceSettingDescription = 0xA40B;
inline constexpr TExifTagID ttSubjectDistanceRange = 0xA40C;
inline constexpr TExifTagID ttImageUniqueID = 0xA420;
inline constexpr TExifTagID ttCameraOwnerName = 0xA430;
inline constexpr TExifTagID ttBodySerialNumber = 0xA431;
inline constexpr TExifTagID ttLensSpecification = 0xA432;
inline constexpr TExifTagID ttLensMake = 0xA433;
inline constexpr TExifTagID ttLensModel = 0xA434;
inline constexpr TExifTagID ttLensSerialNumber = 0xA435;

// ---- The interoperability directory ----
inline constexpr TExifTagID ttInteroperabilityIndex = 0x0001;
inline constexpr TExifTagID ttInteroperabilityVersion = 0x0002;
inline constexpr TExifTagID ttRelatedImageFileFormat = 0x1000;
inline constexpr TExifTagID ttRelatedImageWidth = 0x1001;
inline constexpr TExifTagID ttRelatedImageLength = 0x1002;

// ---- The GPS directory ----
inline constexpr TExifTagID ttGPSVersionID = 0x0000;
inline constexpr TExifTagID ttGPSLatitudeRef = 0x0001;
inline constexpr TExifTagID ttGPSLatitude = 0x0002;
inline constexpr TExifTagID ttGPSLongitudeRef = 0x0003;
inline constexpr TExifTagID ttGPSLongitude = 0x0004;
inline constexpr TExifTagID ttGPSAltitudeRef = 0x0005;
inline constexpr TExifTagID ttGPSAltitude = 0x0006;
inline constexpr TExifTagID ttGPSTimeStamp = 0x0007;
inline constexpr TExifTagID ttGPSSatellites = 0x0008;
inline constexpr TExifTagID ttGPSStatus = 0x0009;
inline constexpr TExifTagID ttGPSMeasureMode = 0x000A;
inline constexpr TExifTagID ttGPSDOP = 0x000B;
inline constexpr TExifTagID ttGPSSpeedRef = 0x000C;
inline constexpr TExifTagID ttGPSSpeed = 0x000D;
inline constexpr TExifTagID ttGPSTrackRef = 0x000E;
inline constexpr TExifTagID ttGPSTrack = 0x000F;
inline constexpr TExifTagID ttGPSImgDirectionRef = 0x0010;
inline constexpr TExifTagID ttGPSImgDirection = 0x0011;
inline constexpr TExifTagID ttGPSMapDatum = 0x0012;
inline constexpr TExifTagID ttGPSDestLatitudeRef = 0x0013;
inline constexpr TExifTagID ttGPSDestLatitude = 0x0014;
inline constexpr TExifTagID ttGPSDestLongitudeRef = 0x0015;
inline constexpr TExifTagID ttGPSDestLongitude = 0x0016;
inline constexpr TExifTagID ttGPSDestBearingRef = 0x0017;
inline constexpr TExifTagID ttGPSDestBearing = 0x0018;
inline constexpr TExifTagID ttGPSDestDistanceRef = 0x0019;
inline constexpr TExifTagID ttGPSDestDistance = 0x001A;
inline constexpr TExifTagID ttGPSProcessingMethod = 0x001B;
inline constexpr TExifTagID ttGPSAreaInformation = 0x001C;
inline constexpr TExifTagID ttGPSDateStamp = 0x001D;
inline constexpr TExifTagID ttGPSDifferential = 0x001E;

}  // namespace Zorp::Exif
