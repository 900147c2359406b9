#include "core/IptcListing.h"

#include <algorithm>

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

void ListIPTCData(TListRows& rows, const TIPTCData& iptc) {
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
      rows.push_back(TListRow{caption + number, {OneLine(dataset.Values[i]), std::string(), std::string()}});
    }
  }
}

void ListIPTC(TListRows& rows, TExifData& data) {
  if (!data.SourceMetadata().Contains(mkIPTC) && data.IPTC().Empty()) {
    AddCaption(rows, NoIPTCNotice);
    return;
  }
  ListIPTCData(rows, data.IPTC());
}

}  // namespace Quorvane::Viewer
