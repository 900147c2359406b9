// IPTC-IIM in Photoshop image resources: parsing the resource blocks and the datasets of resource
// 0x0404 with a bounds-checked cursor, display texts, edits checked against the dataset table, and
// the rebuilt resources with a current MD5 digest (nettle).

#include "zorp/exif/IPTC.h"

#include "IPTCDetail.h"

#include <nettle/md5.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "zorp/base/FormatSettings.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifExceptions.h"

namespace Zorp::Exif {


using Detail::ReadResource;
using Detail::TByteCursor;

namespace {

using TBytes = std::vector<std::uint8_t>;

TBytes ToBytes(std::span<const std::uint8_t> bytes) { return TBytes(bytes.begin(), bytes.end()); }
TBytes ToBytes(std::string_view text) { return TBytes(text.begin(), text.end()); }

void AppendNumber(TBytes& out, std::uint64_t value, int count) {
  for (int shift = 8 * (count - 1); shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// Resource signatures that the Photoshop block format uses besides "8BIM".
bool KnownSignature(std::span<const std::uint8_t> signature) {
  for (const char* known : {"8BIM", "PHUT", "AgHg", "DCSR", "MeSa"})
    if (std::memcmp(signature.data(), known, 4) == 0) return true;
  return false;
}

}  // namespace

// One resource block at the cursor; false (cursor unchanged) when it does not fit the bytes left.
bool Detail::ReadResource(TByteCursor& cursor, TPhotoshopResource& resource) {
  const std::uint64_t start = cursor.Position();
  std::span<const std::uint8_t> signature, name, data;
  std::uint64_t id = 0, size = 0;
  std::uint8_t nameLength = 0;
  bool ok = cursor.TryTake(4, signature) && KnownSignature(signature) && cursor.TryNumber(2, id) &&
            cursor.TryByte(nameLength) && cursor.TryTake(nameLength, name);
  // The name with its length byte is padded to an even length.
  if (ok && (nameLength % 2) == 0) ok = cursor.Need(1) && (cursor.SetPosition(cursor.Position() + 1), true);
  ok = ok && cursor.TryNumber(4, size) && cursor.TryTake(size, data);
  if (!ok) {
    cursor.SetPosition(start);
    return false;
  }
  // The padding byte of odd data; a block that ends the bytes may go without it.
  if ((size & 1) && cursor.Left() > 0) cursor.SetPosition(cursor.Position() + 1);
  resource.Signature.assign(signature.begin(), signature.end());
  resource.ID = static_cast<std::uint16_t>(id);
  resource.Name = ToBytes(name);
  resource.Data = ToBytes(data);
  resource.Raw = ToBytes(cursor.Range(start, cursor.Position()));
  return true;
}

namespace {

// One dataset at the cursor; false (cursor unchanged) when none starts there or it is cut.
bool ReadDataset(TByteCursor& cursor, TIPTCDataset& dataset) {
  const std::uint64_t start = cursor.Position();
  std::uint8_t marker = 0, record = 0, number = 0;
  std::uint64_t size = 0;
  std::span<const std::uint8_t> value;
  bool ok = cursor.TryByte(marker) && marker == 0x1C && cursor.TryByte(record) && cursor.TryByte(number) &&
            cursor.TryNumber(2, size);
  // Extended size: the low 15 bits count the size bytes that follow (1 to 4 here).
  if (ok && (size & 0x8000)) {
    const std::uint64_t count = size & 0x7FFF;
    ok = count >= 1 && count <= 4 && cursor.TryNumber(static_cast<std::size_t>(count), size);
  }
  ok = ok && cursor.TryTake(size, value);
  if (!ok) {
    cursor.SetPosition(start);
    return false;
  }
  dataset.Record = record;
  dataset.Number = number;
  dataset.Value = ToBytes(value);
  dataset.Raw = ToBytes(cursor.Range(start, cursor.Position()));
  return true;
}

void AppendResource(TBytes& out, const TPhotoshopResource& resource) {
  out.insert(out.end(), resource.Signature.begin(), resource.Signature.end());
  AppendNumber(out, resource.ID, 2);
  const std::size_t nameLength = std::min<std::size_t>(resource.Name.size(), 255);
  out.push_back(static_cast<std::uint8_t>(nameLength));
  out.insert(out.end(), resource.Name.begin(), resource.Name.begin() + static_cast<std::ptrdiff_t>(nameLength));
  if (nameLength % 2 == 0) out.push_back(0);
  AppendNumber(out, resource.Data.size(), 4);
  out.insert(out.end(), resource.Data.begin(), resource.Data.end());
  if (resource.Data.size() & 1) out.push_back(0);
}

void AppendDataset(TBytes& out, const TIPTCDataset& dataset) {
  if (!dataset.Raw.empty()) {
    out.insert(out.end(), dataset.Raw.begin(), dataset.Raw.end());
    return;
  }
  out.push_back(0x1C);
  out.push_back(dataset.Record);
  out.push_back(dataset.Number);
  if (dataset.Value.size() < 0x8000) {
    AppendNumber(out, dataset.Value.size(), 2);
  } else {
    AppendNumber(out, 0x8004, 2);
    AppendNumber(out, dataset.Value.size(), 4);
  }
  out.insert(out.end(), dataset.Value.begin(), dataset.Value.end());
}

bool IsPhotoshop8BIM(const TPhotoshopResource& resource, std::uint16_t id) {
  return resource.ID == id && resource.Signature == "8BIM";
}

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsASCII(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The value bytes of a dataset set to text, checked against the table; needsUTF8 tells a non-ASCII text.
TBytes EncodeValue(const TIPTCDatasetInfo& info, const std::string& value, bool& needsUTF8) {
  const std::string name = std::string(info.Name) + " (" + IPTCDatasetNumber(info.Record, info.Number) + ")";
  auto badForm = [&](const char* form) {
    throw EInvalidIPTCValue(Zorp::Base::Format(SIPTCBadValueFormat, name.c_str(), value.c_str(), form));
  };
  TBytes bytes;
  switch (info.Kind) {
    case ikText:
      if (!Zorp::Base::IsValidUtf8(value))
        throw EInvalidIPTCValue(Zorp::Base::Format(SIPTCValueNotText, name.c_str()));
      if (!IsASCII(value)) needsUTF8 = true;
      bytes = ToBytes(value);
      break;
    case ikDigits:
      if (value.empty() || !AllDigits(value)) badForm("of digits");
      bytes = ToBytes(value);
      break;
    case ikDate:
      if (value.size() != 8 || !AllDigits(value)) badForm("CCYYMMDD");
      bytes = ToBytes(value);
      break;
    case ikTime:
      if (!((value.size() == 6 && AllDigits(value)) ||
            (value.size() == 11 && AllDigits(value.substr(0, 6)) && (value[6] == '+' || value[6] == '-') &&
             AllDigits(value.substr(7)))))
        badForm("HHMMSS+HHMM");
      bytes = ToBytes(value);
      break;
    case ikBinary:
      // A small number field takes a decimal number; other binary values are taken as bytes.
      if (info.MaxLength <= 4 && !(info.Record == 1 && info.Number == 90)) {
        if (value.empty() || value.size() > 10 || !AllDigits(value)) badForm("of a number");
        const std::uint64_t number = std::stoull(value);
        if (number >> (8 * info.MaxLength)) badForm("of a smaller number");
        AppendNumber(bytes, number, static_cast<int>(info.MaxLength));
      } else {
        bytes = ToBytes(value);
      }
      break;
  }
  if (bytes.size() > info.MaxLength)
    throw EInvalidIPTCValue(Zorp::Base::Format(SIPTCValueTooLong, name.c_str(), static_cast<long long>(bytes.size()),
                                               static_cast<long long>(info.MaxLength)));
  return bytes;
}

// Where a new dataset goes: before the first one numbered after it.
std::vector<TIPTCDataset>::iterator PlaceFor(std::vector<TIPTCDataset>& datasets, std::uint8_t record,
                                             std::uint8_t number) {
  return std::find_if(datasets.begin(), datasets.end(), [&](const TIPTCDataset& dataset) {
    return std::pair{dataset.Record, dataset.Number} > std::pair{record, number};
  });
}

}  // namespace

bool HasPhotoshopSignature(std::span<const std::uint8_t> segmentData) {
  return segmentData.size() >= PhotoshopSegmentSignature.size() &&
         std::equal(PhotoshopSegmentSignature.begin(), PhotoshopSegmentSignature.end(), segmentData.begin());
}

std::vector<std::uint8_t> MD5Digest(std::span<const std::uint8_t> bytes) {
  md5_ctx context;
  md5_init(&context);
  md5_update(&context, bytes.size(), bytes.data());
  TBytes digest(MD5_DIGEST_SIZE);
  md5_digest(&context, MD5_DIGEST_SIZE, digest.data());
  return digest;
}

// ---------------------------------------------------------------------------------------------
// TIPTCData

void TIPTCData::LoadFromSegments(const std::vector<std::span<const std::uint8_t>>& segments) {
  TBytes joined;
  for (const auto& segment : segments)
    if (HasPhotoshopSignature(segment))
      joined.insert(joined.end(), segment.begin() + static_cast<std::ptrdiff_t>(PhotoshopSegmentSignature.size()),
                    segment.end());
  LoadFromResources(joined);
}

void TIPTCData::LoadFromIPTCRecords(std::span<const std::uint8_t> records) {
  TPhotoshopResource resource;
  resource.ID = PhotoshopIPTCResource;
  resource.Data.assign(records.begin(), records.end());
  TBytes resources;
  AppendResource(resources, resource);
  LoadFromResources(resources);
}

void TIPTCData::LoadFromResources(std::span<const std::uint8_t> resources) {
  FResources.clear();
  FDatasets.clear();
  FResourceTail.clear();
  FIPTCTail.clear();
  FIPTCIndex = -1;
  FModified = false;
  // Each block takes at least 12 bytes, so the walk ends within the data.
  TByteCursor cursor(resources);
  TPhotoshopResource resource;
  while (cursor.Left() > 0 && ReadResource(cursor, resource)) FResources.push_back(std::move(resource));
  FResourceTail = ToBytes(cursor.Range(cursor.Position(), resources.size()));
  for (std::size_t i = 0; i < FResources.size() && FIPTCIndex < 0; ++i)
    if (IsPhotoshop8BIM(FResources[i], PhotoshopIPTCResource)) FIPTCIndex = static_cast<std::ptrdiff_t>(i);
  if (FIPTCIndex < 0) return;
  const TBytes& data = FResources[static_cast<std::size_t>(FIPTCIndex)].Data;
  TByteCursor datasets(data);
  TIPTCDataset dataset;
  while (datasets.Left() > 0 && ReadDataset(datasets, dataset)) FDatasets.push_back(std::move(dataset));
  FIPTCTail = ToBytes(datasets.Range(datasets.Position(), data.size()));
}

void TIPTCData::Clear() {
  FResources.clear();
  FDatasets.clear();
  FResourceTail.clear();
  FIPTCTail.clear();
  FIPTCIndex = -1;
  Changed();
}

bool TIPTCData::Empty() const { return FResources.empty() && FResourceTail.empty() && FDatasets.empty(); }

bool TIPTCData::Writable() const {
  // Zero bytes behind the last block are padding; anything else may be a cut block.
  return std::all_of(FResourceTail.begin(), FResourceTail.end(), [](std::uint8_t byte) { return byte == 0; });
}

bool TIPTCData::IsUTF8() const {
  for (const TIPTCDataset& dataset : FDatasets)
    if (dataset.Record == 1 && dataset.Number == 90)
      return std::string_view(reinterpret_cast<const char*>(dataset.Value.data()), dataset.Value.size()) ==
             IPTCUtf8CharacterSet;
  return false;
}

bool TIPTCData::DigestIsStale() const {
  const std::span<const std::uint8_t> stored =
      FIPTCIndex >= 0 ? std::span<const std::uint8_t>(FResources[static_cast<std::size_t>(FIPTCIndex)].Data)
                      : std::span<const std::uint8_t>();
  const TBytes current = MD5Digest(stored);
  return std::any_of(FResources.begin(), FResources.end(), [&](const TPhotoshopResource& resource) {
    return IsPhotoshop8BIM(resource, PhotoshopIPTCDigestResource) && resource.Data != current;
  });
}

std::string TIPTCData::DecodeText(std::span<const std::uint8_t> bytes) const {
  // UTF-8 named by 1:90 and valid UTF-8 without it read the same; other bytes as Windows-1252.
  return Zorp::Base::DecodeTagText(bytes.data(), bytes.size());
}

std::string TIPTCData::DisplayText(const TIPTCDataset& dataset) const {
  const TIPTCDatasetInfo* info = FindIPTCDataset(dataset.Record, dataset.Number);
  const std::span<const std::uint8_t> value = dataset.Value;
  if (dataset.Record == 1 && dataset.Number == 90) {
    const std::string_view text(reinterpret_cast<const char*>(value.data()), value.size());
    if (text == IPTCUtf8CharacterSet) return "UTF-8";
    std::string shown;
    for (const char c : text) shown += c == '\x1B' ? std::string("ESC ") : std::string(1, c);
    return Zorp::Base::DecodeTagText(reinterpret_cast<const std::uint8_t*>(shown.data()), shown.size());
  }
  if (!info || info->Kind != ikBinary) return DecodeText(value);
  if (!value.empty() && value.size() <= 4) {
    std::uint64_t number = 0;
    for (const std::uint8_t byte : value) number = number << 8 | byte;
    return std::to_string(number);
  }
  if (value.size() > 32) return "(" + std::to_string(value.size()) + " bytes)";
  std::string hex;
  char digits[3];
  for (const std::uint8_t byte : value) {
    std::snprintf(digits, sizeof digits, "%02X", unsigned{byte});
    hex += digits;
  }
  return hex;
}

std::vector<std::string> TIPTCData::Values(std::uint8_t record, std::uint8_t number) const {
  std::vector<std::string> values;
  for (const TIPTCDataset& dataset : FDatasets)
    if (dataset.Record == record && dataset.Number == number) values.push_back(DisplayText(dataset));
  return values;
}

std::vector<std::string> TIPTCData::Values(std::string_view name) const {
  const TIPTCDatasetInfo* info = FindIPTCDataset(name);
  return info ? Values(info->Record, info->Number) : std::vector<std::string>();
}

void TIPTCData::SetValues(std::string_view name, const std::vector<std::string>& values) {
  const TIPTCDatasetInfo* info = FindIPTCDataset(name);
  if (!info) throw EInvalidIPTCValue(Zorp::Base::Format(SIPTCUnknownDataset, std::string(name).c_str()));
  SetValues(info->Record, info->Number, values);
}

void TIPTCData::SetValues(std::uint8_t record, std::uint8_t number, const std::vector<std::string>& values) {
  const TIPTCDatasetInfo* info = FindIPTCDataset(record, number);
  if (!info) throw EInvalidIPTCValue(Zorp::Base::Format(SIPTCUnknownDataset, IPTCDatasetNumber(record, number).c_str()));
  if (!Writable()) throw EIPTCNotWritable(SIPTCNotWritable);
  if (values.size() > 1 && !info->Repeatable)
    throw EInvalidIPTCValue(Zorp::Base::Format(SIPTCNotRepeatable, info->Name, static_cast<long long>(values.size())));
  bool needsUTF8 = false;
  std::vector<TBytes> encoded;
  for (const std::string& value : values) encoded.push_back(EncodeValue(*info, value, needsUTF8));

  // The change is made on a copy, so that nothing changes when a step fails.
  std::vector<TIPTCDataset> datasets = FDatasets;
  if (needsUTF8 && !IsUTF8()) {
    for (TIPTCDataset& dataset : datasets) {
      const TIPTCDatasetInfo* textInfo = FindIPTCDataset(dataset.Record, dataset.Number);
      if (dataset.Record != 2 || !textInfo || textInfo->Kind != ikText) continue;
      TBytes utf8 = ToBytes(DecodeText(dataset.Value));
      // A value that fitted must still fit; one already over its limit stays as long as it is now.
      if (utf8.size() > textInfo->MaxLength && dataset.Value.size() <= textInfo->MaxLength)
        throw EInvalidIPTCValue(Zorp::Base::Format(
            SIPTCConversionTooLong, (std::string(textInfo->Name) + " (" + IPTCDatasetNumber(2, dataset.Number) + ")").c_str(),
            static_cast<long long>(utf8.size()), static_cast<long long>(textInfo->MaxLength)));
      if (utf8 != dataset.Value) {
        dataset.Value = std::move(utf8);
        dataset.Raw.clear();
      }
    }
    TIPTCDataset characterSet{1, 90, ToBytes(IPTCUtf8CharacterSet), {}};
    const auto existing = std::find_if(datasets.begin(), datasets.end(),
                                       [](const TIPTCDataset& dataset) { return dataset.Record == 1 && dataset.Number == 90; });
    if (existing != datasets.end())
      *existing = std::move(characterSet);
    else
      datasets.insert(PlaceFor(datasets, 1, 90), std::move(characterSet));
  }
  auto place = std::find_if(datasets.begin(), datasets.end(), [&](const TIPTCDataset& dataset) {
    return dataset.Record == record && dataset.Number == number;
  });
  if (place != datasets.end()) {
    const std::ptrdiff_t at = place - datasets.begin();
    std::erase_if(datasets, [&](const TIPTCDataset& dataset) { return dataset.Record == record && dataset.Number == number; });
    place = datasets.begin() + at;
  } else {
    place = PlaceFor(datasets, record, number);
  }
  for (TBytes& value : encoded) place = datasets.insert(place, TIPTCDataset{record, number, std::move(value), {}}) + 1;
  if (record == 2 && !values.empty() &&
      std::none_of(datasets.begin(), datasets.end(),
                   [](const TIPTCDataset& dataset) { return dataset.Record == 2 && dataset.Number == 0; }))
    datasets.insert(PlaceFor(datasets, 2, 0), TIPTCDataset{2, 0, {0x00, 0x04}, {}});
  FDatasets = std::move(datasets);
  Changed();
}

void TIPTCData::Changed() {
  FModified = true;
  if (FOnChange) FOnChange();
}

std::vector<std::uint8_t> TIPTCData::IPTCBytes() const {
  TBytes bytes;
  for (const TIPTCDataset& dataset : FDatasets) AppendDataset(bytes, dataset);
  bytes.insert(bytes.end(), FIPTCTail.begin(), FIPTCTail.end());
  return bytes;
}

std::vector<std::uint8_t> TIPTCData::ResourceBytes() const {
  const TBytes iptc = IPTCBytes();
  const TBytes digest = MD5Digest(iptc);
  TBytes out;
  auto appendChanged = [&](const TPhotoshopResource& resource, const TBytes& data) {
    if (resource.Data == data && !resource.Raw.empty()) {
      out.insert(out.end(), resource.Raw.begin(), resource.Raw.end());
    } else {
      TPhotoshopResource rebuilt = resource;
      rebuilt.Data = data;
      AppendResource(out, rebuilt);
    }
  };
  const bool hasDigest = std::any_of(FResources.begin(), FResources.end(), [](const TPhotoshopResource& resource) {
    return IsPhotoshop8BIM(resource, PhotoshopIPTCDigestResource);
  });
  // A new IPTC resource goes first, with its digest behind it when there is none.
  if (FIPTCIndex < 0 && !iptc.empty()) {
    TPhotoshopResource created;
    created.ID = PhotoshopIPTCResource;
    created.Data = iptc;
    AppendResource(out, created);
    if (!hasDigest) {
      created.ID = PhotoshopIPTCDigestResource;
      created.Data = digest;
      AppendResource(out, created);
    }
  }
  for (std::size_t i = 0; i < FResources.size(); ++i) {
    const TPhotoshopResource& resource = FResources[i];
    if (static_cast<std::ptrdiff_t>(i) == FIPTCIndex) {
      // Removed with its last dataset; an empty one read from the file stays.
      if (!iptc.empty() || resource.Data.empty()) appendChanged(resource, iptc);
    } else if (IsPhotoshop8BIM(resource, PhotoshopIPTCDigestResource)) {
      appendChanged(resource, digest);
    } else {
      out.insert(out.end(), resource.Raw.begin(), resource.Raw.end());
    }
  }
  out.insert(out.end(), FResourceTail.begin(), FResourceTail.end());
  return out;
}

std::vector<std::vector<std::uint8_t>> TIPTCData::SegmentData() const {
  std::vector<TBytes> segments;
  const TBytes resources = ResourceBytes();
  const std::size_t room = static_cast<std::size_t>(65533) - PhotoshopSegmentSignature.size();
  for (std::size_t at = 0; at < resources.size(); at += room) {
    const std::size_t count = std::min(room, resources.size() - at);
    TBytes segment = ToBytes(PhotoshopSegmentSignature);
    segment.insert(segment.end(), resources.begin() + static_cast<std::ptrdiff_t>(at),
                   resources.begin() + static_cast<std::ptrdiff_t>(at + count));
    segments.push_back(std::move(segment));
  }
  return segments;
}

}  // namespace Zorp::Exif
