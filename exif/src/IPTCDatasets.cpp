// The IPTC dataset table: records 1 (envelope) and 2 (application) with their usual names, whether
// a dataset repeats, its maximum length in bytes and what its value holds.

#include <algorithm>
#include <cstdio>

#include "zorp/exif/IPTC.h"

namespace Zorp::Exif {

namespace {

constexpr bool R = true, S = false;  // repeatable, single

constexpr TIPTCDatasetInfo Datasets[] = {
    {1, 0, "EnvelopeRecordVersion", S, 2, ikBinary},
    {1, 5, "Destination", R, 1024, ikText},
    {1, 20, "FileFormat", S, 2, ikBinary},
    {1, 22, "FileVersion", S, 2, ikBinary},
    {1, 30, "ServiceIdentifier", S, 10, ikText},
    {1, 40, "EnvelopeNumber", S, 8, ikDigits},
    {1, 50, "ProductID", R, 32, ikText},
    {1, 60, "EnvelopePriority", S, 1, ikDigits},
    {1, 70, "DateSent", S, 8, ikDate},
    {1, 80, "TimeSent", S, 11, ikTime},
    {1, 90, "CodedCharacterSet", S, 32, ikBinary},
    {1, 100, "UniqueObjectName", S, 80, ikText},
    {1, 120, "ARMIdentifier", S, 2, ikBinary},
    {1, 122, "ARMVersion", S, 2, ikBinary},
    {2, 0, "ApplicationRecordVersion", S, 2, ikBinary},
    {2, 3, "ObjectTypeReference", S, 67, ikText},
    {2, 4, "ObjectAttributeReference", R, 68, ikText},
    {2, 5, "ObjectName", S, 64, ikText},
    {2, 7, "EditStatus", S, 64, ikText},
    {2, 8, "EditorialUpdate", S, 2, ikDigits},
    {2, 10, "Urgency", S, 1, ikDigits},
    {2, 12, "SubjectReference", R, 236, ikText},
    {2, 15, "Category", S, 3, ikText},
    {2, 20, "SupplementalCategories", R, 32, ikText},
    {2, 22, "FixtureIdentifier", S, 32, ikText},
    {2, 25, "Keywords", R, 64, ikText},
    {2, 26, "ContentLocationCode", R, 3, ikText},
    {2, 27, "ContentLocationName", R, 64, ikText},
    {2, 30, "ReleaseDate", S, 8, ikDate},
    {2, 35, "ReleaseTime", S, 11, ikTime},
    {2, 37, "ExpirationDate", S, 8, ikDate},
    {2, 38, "ExpirationTime", S, 11, ikTime},
    {2, 40, "SpecialInstructions", S, 256, ikText},
    {2, 42, "ActionAdvised", S, 2, ikDigits},
    {2, 45, "ReferenceService", R, 10, ikText},
    {2, 47, "ReferenceDate", R, 8, ikDate},
    {2, 50, "ReferenceNumber", R, 8, ikDigits},
    {2, 55, "DateCreated", S, 8, ikDate},
    {2, 60, "TimeCreated", S, 11, ikTime},
    {2, 62, "DigitalCreationDate", S, 8, ikDate},
    {2, 63, "DigitalCreationTime", S, 11, ikTime},
    {2, 65, "OriginatingProgram", S, 32, ikText},
    {2, 70, "ProgramVersion", S, 10, ikText},
    {2, 75, "ObjectCycle", S, 1, ikText},
    {2, 80, "By-line", R, 32, ikText},
    {2, 85, "By-lineTitle", R, 32, ikText},
    {2, 90, "City", S, 32, ikText},
    {2, 92, "Sub-location", S, 32, ikText},
    {2, 95, "Province-State", S, 32, ikText},
    {2, 100, "Country-PrimaryLocationCode", S, 3, ikText},
    {2, 101, "Country-PrimaryLocationName", S, 64, ikText},
    {2, 103, "OriginalTransmissionReference", S, 32, ikText},
    {2, 105, "Headline", S, 256, ikText},
    {2, 110, "Credit", S, 32, ikText},
    {2, 115, "Source", S, 32, ikText},
    {2, 116, "CopyrightNotice", S, 128, ikText},
    {2, 118, "Contact", R, 128, ikText},
    {2, 120, "Caption-Abstract", S, 2000, ikText},
    {2, 121, "LocalCaption", S, 256, ikText},
    {2, 122, "Writer-Editor", R, 32, ikText},
    {2, 125, "RasterizedCaption", S, 7360, ikBinary},
    {2, 130, "ImageType", S, 2, ikText},
    {2, 131, "ImageOrientation", S, 1, ikText},
    {2, 135, "LanguageIdentifier", S, 3, ikText},
    {2, 150, "AudioType", S, 2, ikText},
    {2, 151, "AudioSamplingRate", S, 6, ikDigits},
    {2, 152, "AudioSamplingResolution", S, 2, ikDigits},
    {2, 153, "AudioDuration", S, 6, ikDigits},
    {2, 154, "AudioOutcue", S, 64, ikText},
    {2, 200, "ObjectPreviewFileFormat", S, 2, ikBinary},
    {2, 201, "ObjectPreviewFileFormatVersion", S, 2, ikBinary},
    {2, 202, "ObjectPreviewData", S, 256000, ikBinary},
};

constexpr bool SortedByNumber() {
  for (std::size_t i = 1; i < std::size(Datasets); ++i) {
    const auto& a = Datasets[i - 1];
    const auto& b = Datasets[i];
    if (a.Record > b.Record || (a.Record == b.Record && a.Number >= b.Number)) return false;
  }
  return true;
}
static_assert(SortedByNumber(), "the dataset table is looked up by binary search");

}  // namespace

std::span<const TIPTCDatasetInfo> IPTCDatasetTable() { return Datasets; }

const TIPTCDatasetInfo* FindIPTCDataset(std::uint8_t record, std::uint8_t number) {
  const auto found = std::lower_bound(std::begin(Datasets), std::end(Datasets), std::pair{record, number},
                                      [](const TIPTCDatasetInfo& info, const std::pair<std::uint8_t, std::uint8_t>& key) {
                                        return std::pair{info.Record, info.Number} < key;
                                      });
  return found != std::end(Datasets) && found->Record == record && found->Number == number ? found : nullptr;
}

const TIPTCDatasetInfo* FindIPTCDataset(std::string_view name) {
  for (const TIPTCDatasetInfo& info : Datasets)
    if (name == info.Name) return &info;
  return nullptr;
}

std::string IPTCDatasetNumber(std::uint8_t record, std::uint8_t number) {
  char text[16];
  std::snprintf(text, sizeof text, "%u:%02u", unsigned{record}, unsigned{number});
  return text;
}

}  // namespace Zorp::Exif
