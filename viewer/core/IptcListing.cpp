#include "core/IptcListing.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "zorp/base/Exceptions.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;

namespace {

// Line breaks as the XMP list shows them.
std::string OneLine(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    if (c == '\r') continue;
    if (c == '\n')
      shown += "\\n";
    else
      shown += c;
  }
  return shown;
}

}  // namespace

std::vector<TIPTCListedDataset> ListIPTCDatasets(const TIPTCData& iptc) {
  std::vector<TIPTCListedDataset> listed;
  for (const TIPTCDataset& dataset : iptc.Datasets()) {
    if (dataset.Record != 1 && dataset.Record != 2) continue;
    auto entry = std::find_if(listed.begin(), listed.end(), [&](const TIPTCListedDataset& item) {
      return item.Record == dataset.Record && item.Number == dataset.Number;
    });
    if (entry == listed.end()) {
      const TIPTCDatasetInfo* info = FindIPTCDataset(dataset.Record, dataset.Number);
      listed.push_back({dataset.Record, dataset.Number, info ? info->Name : "Unknown", info && info->Repeatable, {}});
      entry = listed.end() - 1;
    }
    entry->Values.push_back(iptc.DisplayText(dataset));
  }
  return listed;
}

void ListIPTCData(TListRows& rows, const TIPTCData& iptc, bool editable) {
  if (!iptc.Writable()) AddCaption(rows, UnreadableIPTCNotice);
  if (iptc.DigestIsStale()) AddCaption(rows, StaleIPTCDigestNotice);
  const std::vector<TIPTCListedDataset> datasets = ListIPTCDatasets(iptc);
  if (datasets.empty()) {
    AddCaption(rows, NoIPTCNotice);
    return;
  }
  for (const TIPTCListedDataset& dataset : datasets) {
    const std::string number = " (" + IPTCDatasetNumber(dataset.Record, dataset.Number) + ")";
    const bool indexed = dataset.Repeatable || dataset.Values.size() > 1;
    for (std::size_t i = 0; i < dataset.Values.size(); ++i) {
      std::string caption = dataset.Name;
      if (indexed) caption += "[" + std::to_string(i + 1) + "]";
      const TIPTCDatasetInfo* info = FindIPTCDataset(dataset.Record, dataset.Number);
      const bool canEdit = editable && iptc.Writable() && info && info->Kind != ikBinary;
      TListRow row{caption + number, {OneLine(dataset.Values[i]), canEdit ? std::string(rkString) : std::string(), {}}};
      if (canEdit)
        row.Key = "iptc:" + std::to_string(dataset.Record) + ':' + std::to_string(dataset.Number) + ':' + std::to_string(i);
      rows.push_back(std::move(row));
    }
  }
}

void ListIPTC(TListRows& rows, TExifData& data, bool editable) {
  if (!HoldsIPTC(data)) {
    AddCaption(rows, NoIPTCNotice);
    return;
  }
  ListIPTCData(rows, data.IPTC(), editable);
}

bool HoldsIPTC(TExifData& data) { return data.SourceMetadata().Contains(mkIPTC) || !data.IPTC().Empty(); }

bool IsIPTCRowKey(std::string_view key) { return key.starts_with("iptc:"); }

void SetIPTCValueFromRow(TExifData& data, std::string_view key, const std::string& value) {
  // "iptc:RECORD:DATASET:INDEX"
  unsigned parts[3] = {};
  std::string_view rest = key.substr(std::min<std::size_t>(key.size(), 5));
  for (unsigned& part : parts) {
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), part);
    if (error != std::errc() || !IsIPTCRowKey(key)) throw Zorp::Base::EConvertError("Not an IPTC value: " + std::string(key));
    rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
    if (!rest.empty() && rest.front() == ':') rest.remove_prefix(1);
  }
  if (parts[0] > 255 || parts[1] > 255) throw Zorp::Base::EConvertError("Not an IPTC value: " + std::string(key));
  const auto record = static_cast<std::uint8_t>(parts[0]), number = static_cast<std::uint8_t>(parts[1]);
  std::vector<std::string> values = data.IPTC().Values(record, number);
  if (parts[2] >= values.size()) throw Zorp::Base::EConvertError("Not an IPTC value: " + std::string(key));
  if (value.empty())
    values.erase(values.begin() + parts[2]);
  else
    values[parts[2]] = value;
  data.IPTC().SetValues(record, number, values);
}

}  // namespace Quorvane::Viewer
