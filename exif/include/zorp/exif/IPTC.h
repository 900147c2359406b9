#pragma once
// IPTC-IIM metadata as JPEG photos carry it: Adobe Photoshop image resources ("8BIM" blocks) in
// APP13 segments that start with "Photoshop 3.0" 00, the IPTC datasets in resource 0x0404 and their
// MD5 digest in resource 0x0425. The data keeps every resource in order and, until it is edited,
// every byte as read; datasets of records other than 1 and 2, and bytes that do not parse, are kept
// as they are.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Zorp::Exif {

// What a dataset's value holds.
enum TIPTCValueKind : std::uint8_t {
  ikText = 0,    // text in the record's character set
  ikDigits = 1,  // decimal digits
  ikDate = 2,    // CCYYMMDD
  ikTime = 3,    // HHMMSS+HHMM (or HHMMSS-HHMM)
  ikBinary = 4,  // bytes; a value of up to 4 bytes reads as a big-endian number
};

// One entry of the dataset table.
struct TIPTCDatasetInfo {
  std::uint8_t Record;
  std::uint8_t Number;
  const char* Name;
  bool Repeatable;
  std::uint32_t MaxLength;  // in bytes
  TIPTCValueKind Kind;
};

// The dataset table, in record and number order.
std::span<const TIPTCDatasetInfo> IPTCDatasetTable();
// The table entry of a dataset; nullptr when the table has none.
const TIPTCDatasetInfo* FindIPTCDataset(std::uint8_t record, std::uint8_t number);
// By name, case-sensitive ("Keywords", "By-line"); nullptr when unknown.
const TIPTCDatasetInfo* FindIPTCDataset(std::string_view name);
// "2:25", "1:90": how a dataset is numbered in messages and listings.
std::string IPTCDatasetNumber(std::uint8_t record, std::uint8_t number);

// Photoshop resource IDs the library knows.
inline constexpr std::uint16_t PhotoshopIPTCResource = 0x0404;
inline constexpr std::uint16_t PhotoshopIPTCDigestResource = 0x0425;
// The signature that starts the data of an APP13 segment holding Photoshop resources.
inline constexpr std::string_view PhotoshopSegmentSignature{"Photoshop 3.0\0", 14};
// Whether APP13 segment data starts with PhotoshopSegmentSignature.
bool HasPhotoshopSignature(std::span<const std::uint8_t> segmentData);
// The coded character set (1:90) that names UTF-8: ESC % G.
inline constexpr std::string_view IPTCUtf8CharacterSet{"\x1B%G", 3};

// One image resource: signature, ID, Pascal name and data. Raw holds the whole block as it was
// read (signature to the padding byte), which a write copies unchanged; empty for a block built here.
struct TPhotoshopResource {
  std::string Signature = "8BIM";
  std::uint16_t ID = 0;
  std::vector<std::uint8_t> Name;  // without its length byte
  std::vector<std::uint8_t> Data;  // without its padding byte
  std::vector<std::uint8_t> Raw;
};

// One IPTC dataset: record, number and the stored value bytes. Raw holds the dataset as it was read
// (tag marker to the last value byte), copied unchanged by a write; empty once edited.
struct TIPTCDataset {
  std::uint8_t Record = 0;
  std::uint8_t Number = 0;
  std::vector<std::uint8_t> Value;
  std::vector<std::uint8_t> Raw;
};

class TIPTCData {
 public:
  // Parses the data of Photoshop APP13 segments, each starting with PhotoshopSegmentSignature,
  // joined in order. A segment without the signature is skipped. Replaces what was held; no change
  // notification, Modified false.
  void LoadFromSegments(const std::vector<std::span<const std::uint8_t>>& segments);
  // Parses resource blocks (the joined segment data without their signatures).
  void LoadFromResources(std::span<const std::uint8_t> resources);
  // Parses IPTC records stored without Photoshop resources (as TIFF tag 0x83BB holds them), held as
  // the one IPTC resource.
  void LoadFromIPTCRecords(std::span<const std::uint8_t> records);
  // Drops every resource and dataset; a save then writes no Photoshop segment.
  void Clear();

  // No resource and no unparsed bytes: nothing to write.
  bool Empty() const;
  // Whether any IPTC dataset is held.
  bool HasDatasets() const { return !FDatasets.empty(); }
  // The resources in order; the IPTC resource's data and the digest are as read until a write
  // rebuilds them (ResourceBytes).
  const std::vector<TPhotoshopResource>& Resources() const { return FResources; }
  // Every dataset of resource 0x0404 in file order, other records included.
  const std::vector<TIPTCDataset>& Datasets() const { return FDatasets; }
  // Bytes behind the last resource, and behind the last dataset, that do not parse; kept as they are.
  std::span<const std::uint8_t> UnparsedResourceBytes() const { return FResourceTail; }
  std::span<const std::uint8_t> UnparsedIPTCBytes() const { return FIPTCTail; }

  // False when the resources could not be read completely (a cut or foreign block): edits are then
  // refused, so that a save copies the segments as they are.
  bool Writable() const;
  // Whether 1:90 names UTF-8.
  bool IsUTF8() const;
  // The digest resource is there and is not the MD5 of the stored IPTC resource's data.
  bool DigestIsStale() const;

  // A dataset's value as UTF-8 text for display: text in UTF-8 when 1:90 says so, else valid UTF-8
  // as it is and other bytes as Windows-1252; binary values as a number (up to 4 bytes) or hex.
  std::string DisplayText(const TIPTCDataset& dataset) const;
  // Display texts of every value of a dataset, in file order.
  std::vector<std::string> Values(std::uint8_t record, std::uint8_t number) const;
  std::vector<std::string> Values(std::string_view name) const;

  // Sets a dataset of record 1 or 2 to values (UTF-8; empty removes it). The new datasets take the
  // place of the old ones, or their place in number order. Raises EInvalidIPTCValue for an unknown
  // dataset, more than one value of a dataset that does not repeat, a value over the dataset's
  // maximum length or not in its form, and EIPTCNotWritable when the data is not Writable; the data
  // is then unchanged. A non-ASCII text while 1:90 does not name UTF-8 converts the record-2 texts
  // to UTF-8 and sets 1:90 to ESC % G; a converted text that fitted its limit and would no longer
  // fit refuses the edit. Record 2 gains 2:00 (version 4) when it has none.
  void SetValues(std::uint8_t record, std::uint8_t number, const std::vector<std::string>& values);
  void SetValues(std::string_view name, const std::vector<std::string>& values);

  // Changed since the load (or since SetModified(false)).
  bool Modified() const { return FModified; }
  void SetModified(bool value) { FModified = value; }
  // Called after every change.
  void SetOnChange(std::function<void()> handler) { FOnChange = std::move(handler); }

  // The resource blocks to write: unchanged resources byte for byte, resource 0x0404 rebuilt from
  // the datasets (first in the list when it is created), the digest set to its MD5 (added when the
  // IPTC resource is created), the unparsed tail behind.
  std::vector<std::uint8_t> ResourceBytes() const;
  // The data of the APP13 segments that hold ResourceBytes: each starts with the signature and
  // holds at most 65533 bytes. None when Empty.
  std::vector<std::vector<std::uint8_t>> SegmentData() const;

 private:
  void Changed();
  std::vector<std::uint8_t> IPTCBytes() const;
  std::string DecodeText(std::span<const std::uint8_t> bytes) const;

  std::vector<TPhotoshopResource> FResources;
  std::vector<TIPTCDataset> FDatasets;
  std::vector<std::uint8_t> FResourceTail;
  std::vector<std::uint8_t> FIPTCTail;
  std::ptrdiff_t FIPTCIndex = -1;  // the resource the datasets came from
  bool FModified = false;
  std::function<void()> FOnChange;
};

// MD5 of bytes (16 bytes).
std::vector<std::uint8_t> MD5Digest(std::span<const std::uint8_t> bytes);

}  // namespace Zorp::Exif
