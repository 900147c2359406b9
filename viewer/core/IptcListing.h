#pragma once
// The IPTC list: the photo's IPTC datasets of records 1 and 2 as read-only rows, captioned with the
// dataset's name and its record:dataset number ("Keywords (2:25)"); a repeated dataset gives one row
// per value, numbered as the XMP list numbers the items of a bag ("Keywords[2] (2:25)").

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ListRows.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/IPTC.h"

namespace Quorvane::Viewer {

inline constexpr std::string_view NoIPTCNotice = "No IPTC data found";
inline constexpr std::string_view StaleIPTCDigestNotice =
    "The IPTC digest does not match the IPTC data: another program may have changed one without the other";
inline constexpr std::string_view UnreadableIPTCNotice =
    "Some of the Photoshop resources could not be read; they are kept as they are and IPTC cannot be edited";

// One dataset with all its values, for outputs that group them (the command-line JSON).
struct TIPTCListedDataset {
  std::uint8_t Record = 0;
  std::uint8_t Number = 0;
  std::string Name;  // from the table, or "Unknown" for a number it does not hold
  bool Repeatable = false;
  std::vector<std::string> Values;  // display texts in file order
};

// The datasets of records 1 and 2, one entry per record and number in the order of their first
// value in the file.
std::vector<TIPTCListedDataset> ListIPTCDatasets(const Zorp::Exif::TIPTCData& iptc);

// Appends the rows of the IPTC data: a notice when the digest is stale or resources could not be
// read, then one row per value (line breaks shown as "\n"); NoIPTCNotice when it holds no dataset.
// With editable, and data that can be rewritten, the text, number, date and time values are string
// rows keyed "iptc:RECORD:DATASET:INDEX" (the value's place among the dataset's values).
void ListIPTCData(TListRows& rows, const Zorp::Exif::TIPTCData& iptc, bool editable = false);

// Whether the photo holds IPTC: Photoshop segments were read or IPTC data was given to it.
bool HoldsIPTC(Zorp::Exif::TExifData& data);

// The rows of the photo's IPTC data. Reads the IPTC data.
void ListIPTC(TListRows& rows, Zorp::Exif::TExifData& data, bool editable = false);

// Whether a row key names an IPTC value.
bool IsIPTCRowKey(std::string_view key);
// Sets the value a row key names; an empty value removes it from its dataset. Raises what the IPTC
// data raises for a value it cannot hold, and EConvertError for a key that names no value.
void SetIPTCValueFromRow(Zorp::Exif::TExifData& data, std::string_view key, const std::string& value);

}  // namespace Quorvane::Viewer
