#include "zorp/exif/MWG.h"

#include <algorithm>
#include <string_view>

#include "zorp/base/TextEncoding.h"
#include "zorp/exif/IPTC.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPUtils.h"

namespace Zorp::Exif {
namespace {

// Where each value lives besides Exif.
struct TMWGPlace {
  const char* IPTCName;
  TXMPNamespaceKind Schema;
  const char* XMPName;
  bool IsList;
};
constexpr TMWGPlace Places[] = {
    {"CopyrightNotice", xnDublinCore, "rights", false},  {"By-line", xnDublinCore, "creator", true},
    {"Caption-Abstract", xnDublinCore, "description", false}, {"Keywords", xnDublinCore, "subject", true},
    {"ObjectName", xnDublinCore, "title", false},        {"DateCreated", xnPhotoshop, "DateCreated", false},
};

std::string Clean(std::string_view text) { return Zorp::Base::Trim(ShownAsciiText(text)); }

std::string JoinList(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) {
    const std::string trimmed = Zorp::Base::Trim(item);
    if (trimmed.empty()) continue;
    if (!text.empty()) text += "; ";
    text += trimmed;
  }
  return text;
}

// "yyyy-mm-ddThh:nn:ss[.fff][zone]" (or a shorter date) as "yyyy:mm:dd hh:nn:ss" without fraction and zone.
std::string ExifFormOfXMPDate(std::string_view text) {
  std::string result(text.substr(0, std::min<std::size_t>(text.size(), 19)));
  for (std::size_t i = 0; i < result.size(); ++i) {
    if ((i == 4 || i == 7) && result[i] == '-') result[i] = ':';
    if (i == 10 && result[i] == 'T') result[i] = ' ';
  }
  // Cut at the fraction or zone of a time written without seconds ("2024-05-03T14:22+02:00").
  const std::size_t zone = result.find_first_of("+-Z.", 11);
  if (result.size() > 11 && zone != std::string::npos) result.resize(zone);
  return result;
}

// The Exif copy the guidelines name (Copyright, Artist, ImageDescription, DateTimeOriginal); empty
// for keywords and titles, which have none.
std::string ExifCopy(TExifData& data, TMWGValue item) {
  switch (item) {
    case mvCopyright: return Clean(data.Copyright());
    case mvCreator: {
      std::string text;
      return data.PeekSection(skPrimary).TryGetStringValue(ttArtist, text) ? Clean(text) : std::string();
    }
    case mvDescription: return Clean(data.ImageDescription());
    case mvDateTimeOriginal: {
      std::string text;
      if (!data.PeekSection(skExif).TryGetStringValue(ttDateTimeOriginal, text)) return {};
      text = Zorp::Base::Trim(WithoutDateTimePadding(ShownAsciiText(text)));
      // A camera without a clock writes the date's frame with blanks: no date.
      return text.find_first_of("0123456789") == std::string::npos ? std::string() : text;
    }
    case mvKeywords:
    case mvTitle: break;
  }
  return {};
}

// The Windows tags that hold the value in UTF-16 (author, keywords, title): read only when nothing else is.
std::string WindowsCopy(TExifData& data, TMWGValue item) {
  switch (item) {
    case mvCreator: return Clean(data.Author());
    case mvKeywords: return JoinList(SplitListText(data.Keywords()));
    case mvTitle: return Zorp::Base::Trim(data.Title());
    default: return {};
  }
}

std::string IPTCCopy(TIPTCData& iptc, TMWGValue item) {
  if (!iptc.HasDatasets()) return {};
  if (item != mvDateTimeOriginal) return JoinList(iptc.Values(Places[item].IPTCName));
  const auto dates = iptc.Values("DateCreated");
  if (dates.empty() || dates.front().size() != 8) return {};
  const std::string& d = dates.front();
  std::string text = d.substr(0, 4) + ':' + d.substr(4, 2) + ':' + d.substr(6, 2);
  const auto times = iptc.Values("TimeCreated");
  if (!times.empty() && times.front().size() >= 6) {
    const std::string& t = times.front();
    text += ' ' + t.substr(0, 2) + ':' + t.substr(2, 2) + ':' + t.substr(4, 2);
  }
  return text;
}

std::string XMPCopy(TXMPPacket& packet, TMWGValue item) {
  const TMWGPlace& place = Places[item];
  TXMPSchema* schema = nullptr;
  TXMPProperty* property = nullptr;
  if (!packet.FindSchema(place.Schema, schema) || !schema->FindProperty(place.XMPName, property)) return {};
  if (place.IsList) {
    std::vector<std::string> items;
    for (int i = 0; i < property->SubPropertyCount(); ++i) items.push_back(property->SubProperties(i).Value());
    if (property->SubPropertyCount() == 0) items.push_back(property->Value());
    return JoinList(items);
  }
  const std::string text = Zorp::Base::Trim(property->ReadValue());
  return item == mvDateTimeOriginal ? ExifFormOfXMPDate(text) : text;
}

// The text two copies are compared by: dates to the precision both have, lists as sorted sets.
bool SameValue(TMWGValue item, const std::string& a, const std::string& b) {
  if (item == mvDateTimeOriginal) {
    const std::size_t length = std::min(a.size(), b.size());
    return a.compare(0, length, b, 0, length) == 0;
  }
  if (Places[item].IsList) {
    auto left = SplitListText(a), right = SplitListText(b);
    std::sort(left.begin(), left.end());
    std::sort(right.begin(), right.end());
    return left == right;
  }
  return a == b;
}

}  // namespace

std::vector<std::string> SplitListText(std::string_view text) {
  std::vector<std::string> items;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find(';'), text.size());
    std::string item = Zorp::Base::Trim(text.substr(0, end));
    if (!item.empty()) items.push_back(std::move(item));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return items;
}

TMWGReading ReadMWGValue(TExifData& data, TMWGValue item, TXMPPacket* sidecar) {
  TMWGReading reading;
  TMWGCopies& copies = reading.Copies;
  TIPTCData& iptc = data.IPTC();
  copies.Exif = ExifCopy(data, item);
  // Without the Exif tag the guidelines name, the Windows tag stands for the Exif copy, read last.
  const bool windowsCopy = copies.Exif.empty();
  if (windowsCopy) copies.Exif = WindowsCopy(data, item);
  copies.IPTC = IPTCCopy(iptc, item);
  copies.XMP = XMPCopy(data.XMPPacket(), item);
  if (sidecar) copies.Sidecar = XMPCopy(*sidecar, item);

  // The IPTC copy wins over the XMP copy only when its digest shows that it changed after both
  // were written together (a program that knows no XMP edited it).
  const bool xmpOverIPTC = copies.IPTC.empty() || (!copies.XMP.empty() && !iptc.DigestIsStale());
  if (!copies.Sidecar.empty()) {
    reading.Value = copies.Sidecar, reading.Source = msSidecar;
  } else if (!copies.Exif.empty() && !windowsCopy) {
    reading.Value = copies.Exif, reading.Source = msExif;
  } else if (!xmpOverIPTC) {
    reading.Value = copies.IPTC, reading.Source = msIPTC;
  } else if (!copies.XMP.empty()) {
    reading.Value = copies.XMP, reading.Source = msXMP;
  } else if (!copies.Exif.empty()) {
    reading.Value = copies.Exif, reading.Source = msExif;
  }
  for (const std::string* copy : {&copies.Exif, &copies.IPTC, &copies.XMP, &copies.Sidecar})
    if (!copy->empty() && !SameValue(item, *copy, reading.Value)) reading.Disagree = true;
  return reading;
}

TMWGReading ReadMWGValue(TMetadataFile& file, TMWGValue item) {
  return ReadMWGValue(file.Exif(), item, file.WritesInPlace() ? nullptr : file.Sidecar());
}

const char* MWGSourceName(TMWGSource source) {
  switch (source) {
    case msExif: return "Exif";
    case msIPTC: return "IPTC";
    case msXMP: return "XMP";
    case msSidecar: return "XMP sidecar";
    case msNone: break;
  }
  return "";
}

void UpdateIPTCCopy(TExifData& data, TMWGValue item, const std::string& value) {
  TIPTCData& iptc = data.IPTC();
  if (!iptc.HasDatasets()) return;
  if (item != mvDateTimeOriginal) {
    const std::string text = Zorp::Base::Trim(value);
    std::vector<std::string> values;
    if (Places[item].IsList)
      values = SplitListText(text);
    else if (!text.empty())
      values.push_back(text);
    iptc.SetValues(Places[item].IPTCName, values);
    return;
  }
  // "yyyy:mm:dd hh:nn:ss": the date as CCYYMMDD, the time as HHMMSS keeping the zone the IPTC time had.
  std::string date, time;
  if (value.size() >= 10) date = value.substr(0, 4) + value.substr(5, 2) + value.substr(8, 2);
  if (value.size() >= 19) {
    time = value.substr(11, 2) + value.substr(14, 2) + value.substr(17, 2);
    const auto old = iptc.Values("TimeCreated");
    if (!old.empty() && old.front().size() == 11) time += old.front().substr(6);
  }
  // Both are checked before either changes.
  TIPTCData check;
  check.LoadFromResources(iptc.ResourceBytes());
  check.SetValues("DateCreated", date.empty() ? std::vector<std::string>{} : std::vector{date});
  check.SetValues("TimeCreated", time.empty() ? std::vector<std::string>{} : std::vector{time});
  iptc.SetValues("DateCreated", date.empty() ? std::vector<std::string>{} : std::vector{date});
  iptc.SetValues("TimeCreated", time.empty() ? std::vector<std::string>{} : std::vector{time});
}

}  // namespace Zorp::Exif
