// `quorvane-cli write`: loads a JPEG, sets named properties of its Exif container in the order given
// and saves the file in place (built in memory, checked, then renamed over the original).

#include <cerrno>
#include <charconv>
#include <functional>
#include <map>
#include <ostream>
#include <regex>

#include "Commands.h"
#include "OutputChannel.h"
#include "core/PhotoJobs.h"
#include "core/PropertySetters.h"
#include "core/RowText.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FileLock.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/SafeFile.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/IPTC.h"
#include "zorp/exif/MWG.h"
#include "zorp/exif/MetadataFile.h"
#include "zorp/exif/XMPUtils.h"

namespace Quorvane::Cli {

namespace {

using namespace Zorp::Exif;
using Zorp::Base::Format;
using Zorp::Base::TDateTime;

using TSetter = std::function<void(TExifData&, const std::string&)>;

// An unsigned decimal no larger than maxValue; anything else raises EConvertError or ERangeError.
std::uint32_t ParseNumber(const std::string& text, std::uint32_t maxValue) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || stop != end || error == std::errc::invalid_argument)
    throw Zorp::Base::EConvertError(Format(SInvalidInteger, text.c_str()));
  if (error == std::errc::result_out_of_range || value > maxValue) throw Zorp::Base::ERangeError(SRangeError);
  return static_cast<std::uint32_t>(value);
}

// "yyyy-mm-ddThh:nn:ss" with an optional ".zzz"; the empty text is 0, which deletes.
TDateTime ParseDateTime(const std::string& text) {
  if (text.empty()) return 0;
  static const std::regex pattern(R"((\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})(?:\.(\d{3}))?)");
  std::smatch match;
  TDateTime value = 0;
  auto number = [&](int index) { return match[index].matched ? std::stoi(match[index].str()) : 0; };
  if (!std::regex_match(text, match, pattern) ||
      !Zorp::Base::TryEncodeDateTime(number(1), number(2), number(3), number(4), number(5), number(6), number(7),
                                     value))
    throw Zorp::Base::EConvertError(Format(SInvalidDateTime, text.c_str()));
  // Only the empty text deletes; a date that would read as none is refused.
  if (const std::string refusal = Quorvane::Viewer::UnstorableDateTimeMessage(value); !refusal.empty())
    throw Zorp::Base::EConvertError(refusal);
  return value;
}

TSetter Text(void (TCustomExifData::*setter)(const std::string&)) {
  return [setter](TExifData& data, const std::string& value) { (data.*setter)(value); };
}

// A text with a copy in the IPTC data, which follows it (first, so that a value the IPTC data
// refuses changes nothing).
TSetter Copied(TMWGValue item, void (TCustomExifData::*setter)(const std::string&)) {
  return [item, setter](TExifData& data, const std::string& value) {
    UpdateIPTCCopy(data, item, value);
    (data.*setter)(value);
  };
}

TSetter Date(void (TCustomExifData::*setter)(TDateTime)) {
  return [setter](TExifData& data, const std::string& value) {
    const TDateTime date = ParseDateTime(value);
    if (setter == &TCustomExifData::SetDateTimeOriginal)
      UpdateIPTCCopy(data, mvDateTimeOriginal, date == 0 ? std::string() : DateTimeToExifText(date));
    (data.*setter)(date);
  };
}

TSetter PixelSize(void (TCustomExifData::*setter)(const TOptionalLongWord&)) {
  return [setter](TExifData& data, const std::string& value) {
    TOptionalLongWord size;
    if (!value.empty()) size = {ParseNumber(value, 0xFFFFFFFF), false};
    (data.*setter)(size);
  };
}

// The properties that can be written, by name.
const std::map<std::string, TSetter>& Setters() {
  static const std::map<std::string, TSetter> setters = {
      {"CameraMake", Text(&TCustomExifData::SetCameraMake)},
      {"CameraModel", Text(&TCustomExifData::SetCameraModel)},
      {"Copyright", Copied(mvCopyright, &TCustomExifData::SetCopyright)},
      {"ImageDescription", Copied(mvDescription, &TCustomExifData::SetImageDescription)},
      {"Software", Text(&TCustomExifData::SetSoftware)},
      {"Author", Copied(mvCreator, &TCustomExifData::SetAuthor)},
      {"Comments", Text(&TCustomExifData::SetComments)},
      {"Keywords", Copied(mvKeywords, &TCustomExifData::SetKeywords)},
      {"Subject", Text(&TCustomExifData::SetSubject)},
      {"Title", Copied(mvTitle, &TCustomExifData::SetTitle)},
      {"ImageUniqueID", Text(&TCustomExifData::SetImageUniqueID)},
      {"RelatedSoundFile", Text(&TCustomExifData::SetRelatedSoundFile)},
      {"SpectralSensitivity", Text(&TCustomExifData::SetSpectralSensitivity)},
      {"SubsecTime", Text(&TCustomExifData::SetSubsecTime)},
      {"SubsecTimeOriginal", Text(&TCustomExifData::SetSubsecTimeOriginal)},
      {"SubsecTimeDigitized", Text(&TCustomExifData::SetSubsecTimeDigitized)},
      {"InteropTypeName", Text(&TCustomExifData::SetInteropTypeName)},
      {"GPSSatellites", Text(&TCustomExifData::SetGPSSatellites)},
      {"GPSMapDatum", Text(&TCustomExifData::SetGPSMapDatum)},
      {"GPSDateStamp", Text(&TCustomExifData::SetGPSDateStamp)},
      {"DateTime", Date(&TCustomExifData::SetDateTime)},
      {"DateTimeOriginal", Date(&TCustomExifData::SetDateTimeOriginal)},
      {"DateTimeDigitized", Date(&TCustomExifData::SetDateTimeDigitized)},
      {"GPSDateTimeUTC", Date(&TCustomExifData::SetGPSDateTimeUTC)},
      {"Orientation",
       [](TExifData& data, const std::string& value) {
         data.SetOrientation(static_cast<TTiffOrientation>(value.empty() ? 0 : ParseNumber(value, 8)));
       }},
      {"UserRating",
       [](TExifData& data, const std::string& value) {
         data.SetUserRating(static_cast<TWindowsStarRating>(value.empty() ? 0 : ParseNumber(value, 5)));
       }},
      {"ExifImageWidth", PixelSize(&TCustomExifData::SetExifImageWidth)},
      {"ExifImageHeight", PixelSize(&TCustomExifData::SetExifImageHeight)},
      {"ExifVersion", [](TExifData& data, const std::string& value) { data.ExifVersion().SetAsString(value); }},
  };
  return setters;
}

// "IPTC:NAME" names a dataset of records 1 and 2 by its name in the dataset table ("IPTC:City"); a
// repeatable one takes its values separated by ";". Writing one gives a photo without IPTC its
// IPTC. No setter for another name.
TSetter IPTCSetter(const std::string& name) {
  if (!name.starts_with("IPTC:")) return {};
  const TIPTCDatasetInfo* info = FindIPTCDataset(std::string_view(name).substr(5));
  if (!info || (info->Record != 1 && info->Record != 2)) return {};
  return [info](TExifData& data, const std::string& value) {
    std::vector<std::string> values;
    if (info->Repeatable)
      values = SplitListText(value);
    else if (std::string item = Zorp::Base::Trim(value); !item.empty())
      values.push_back(std::move(item));
    data.IPTC().SetValues(info->Record, info->Number, values);
  };
}

// The XMP write policies by their command-line names.
const std::map<std::string, TXMPWritePolicy> Policies = {
    {"update-existing", wpUpdateExistingOnly}, {"update-or-add", wpUpdateOrAdd}, {"remove", wpRemove}};

std::string KnownNames() {
  std::string names;
  for (const auto& [name, setter] : Setters()) names += (names.empty() ? "" : ", ") + name;
  return names;
}

}  // namespace

int RunWrite(const std::string& file, const std::vector<std::string>& assignments, const TWriteOptions& options,
             std::ostream& err, std::ostream* out) {
  const auto policy = Policies.find(options.Policy);
  if (!options.Policy.empty() && policy == Policies.end()) {
    err << ErrorLine("unknown XMP write policy \"" + options.Policy + "\" (update-existing, update-or-add, remove)");
    return 2;
  }
  // Every NAME=VALUE is checked before the file is touched.
  std::vector<std::pair<TSetter, std::string>> edits;
  bool editsIPTC = false;
  for (const std::string& assignment : assignments) {
    const std::size_t equals = assignment.find('=');
    const std::string name = assignment.substr(0, equals);
    if (const TSetter iptc = IPTCSetter(name); equals != std::string::npos && iptc) {
      edits.emplace_back(iptc, assignment.substr(equals + 1));
      editsIPTC = true;
      continue;
    }
    const auto setter = Setters().find(name);
    if (equals == std::string::npos || setter == Setters().end()) {
      // The error line, then the names as a list to pick from (the shell completion reads it).
      err << ErrorLine(equals == std::string::npos ? "expected NAME=VALUE, got \"" + assignment + "\""
                                                   : "unknown property \"" + name + "\"")
          << "known properties: " << KnownNames() << '\n';
      return 2;
    }
    edits.emplace_back(setter->second, assignment.substr(equals + 1));
  }
  try {
    // Held from the load to the save, so that a second writer waits instead of racing.
    const Zorp::Base::TFileLock lock(file);
    Zorp::Base::TFileTimes original;
    if (options.KeepModificationTime) original = Zorp::Base::GetFileTimes(file);
    const auto photo = TMetadataFile::Create(file);
    TExifData& data = photo->Exif();
    data.SetEnsureEnumsInRange(false);
    data.SetEnforceASCII(options.EnforceASCII);
    data.SetRepairOnSave(options.Repair);
    // Set before loading: reading the packet afterwards would parse it, and an unchanged packet is
    // copied as it is only while nobody has read it.
    if (policy != Policies.end()) data.XMPPacket().SetWritePolicy(policy->second);
    photo->Load();
    if (!data.RecoveryNote().empty()) err << ErrorLine(file, data.RecoveryNote());
    // A file that is not written keeps its edits in an XMP sidecar, which holds no IPTC.
    if (editsIPTC && !photo->WritesInPlace())
      throw EReadOnlyFileFormat(std::string(photo->Format().Name()) +
                                " files are not written, and their XMP sidecar holds no IPTC");
    for (const auto& [setter, value] : edits) setter(data, value);
    photo->Save();
    if (!photo->WritesInPlace() && out)
      *out << Quorvane::Viewer::MarkLineBreaks(file) << ": written to the XMP sidecar "
           << Quorvane::Viewer::MarkLineBreaks(photo->SidecarFileName())
           << '\n';
    if (options.KeepModificationTime && !Zorp::Base::SetFileTimes(file, original)) {
      err << ErrorLine(file, Quorvane::Viewer::FileDateNotKeptText(errno));
      return 1;
    }
  } catch (const std::exception& error) {
    err << ErrorLine(file, error.what());
    return 1;
  }
  return 0;
}

}  // namespace Quorvane::Cli
