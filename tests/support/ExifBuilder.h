#pragma once
// Builds Exif blocks and JPEG files in code: "a primary directory with these entries, an Exif
// directory with those, a thumbnail", laid out with correct offsets in either byte order.

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string_view>
#include <vector>

#include "ByteBuilder.h"
#include "zorp/base/JPEGImage.h"
#include "zorp/exif/ExifData.h"

namespace Zorp::Testing {

// One directory's entries, in the order given (callers give them in ascending ID order, as files do).
class IfdBuilder {
 public:
  struct Entry {
    std::uint16_t ID;
    std::uint16_t Type;
    std::uint32_t Count;
    std::vector<std::uint8_t> Bytes;    // for element size 1
    std::vector<std::uint32_t> Words;   // for element sizes 2 and 4; rationals as two words each
  };

  IfdBuilder& Short(std::uint16_t id, std::initializer_list<std::uint32_t> values) {
    return Add({id, 3, static_cast<std::uint32_t>(values.size()), {}, values});
  }
  IfdBuilder& Long(std::uint16_t id, std::initializer_list<std::uint32_t> values) {
    return Add({id, 4, static_cast<std::uint32_t>(values.size()), {}, values});
  }
  IfdBuilder& Rational(std::uint16_t id, std::uint32_t numerator, std::uint32_t denominator) {
    return Add({id, 5, 1, {}, {numerator, denominator}});
  }
  // An ASCII value with its NUL.
  IfdBuilder& Ascii(std::uint16_t id, std::string_view text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return Add({id, 2, static_cast<std::uint32_t>(bytes.size()), bytes, {}});
  }
  IfdBuilder& Undefined(std::uint16_t id, const std::vector<std::uint8_t>& bytes) {
    return Add({id, 7, static_cast<std::uint32_t>(bytes.size()), bytes, {}});
  }
  // Any type code and count with element-size-1 bytes (for malformed entries and odd types).
  IfdBuilder& Raw(std::uint16_t id, std::uint16_t type, std::uint32_t count, std::vector<std::uint8_t> bytes = {},
                  std::vector<std::uint32_t> words = {}) {
    return Add({id, type, count, std::move(bytes), std::move(words)});
  }
  IfdBuilder& Add(Entry entry) {
    Entries.push_back(std::move(entry));
    return *this;
  }
  bool Empty() const { return Entries.empty(); }

  std::vector<Entry> Entries;
};

// Size of an entry's value in the file.
inline std::uint32_t EntryValueSize(const IfdBuilder::Entry& e) {
  static const std::uint32_t sizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return e.Type < 14 ? e.Count * sizes[e.Type] : 0;
}

// An Exif block: "Exif" 00 00, the TIFF header, IFD0 with its Exif/GPS pointers, the Exif IFD with
// its interop pointer, the GPS and interop IFDs, IFD1 and the thumbnail bytes.
class ExifBuilder {
 public:
  explicit ExifBuilder(Zorp::Exif::TByteOrder order = Zorp::Exif::boLittleEndian) : Order(order) {}

  Zorp::Exif::TByteOrder Order;
  IfdBuilder Primary, Exif, Interop, Gps, Thumbnail;
  std::vector<std::uint8_t> ThumbnailJPEG;  // written after IFD1, pointed to by tag 0x0201
  bool WithExifHeader = true;

  // Where each value was written, relative to the TIFF header, by (IFD index in build order, tag ID).
  std::map<std::pair<int, std::uint16_t>, std::uint32_t> ValueOffsets;

  std::vector<std::uint8_t> Build() {
    IfdBuilder primary = Primary, exif = Exif, thumbnail = Thumbnail;
    // Pointer entries; their values are patched once the layout is known.
    if (!Interop.Empty()) exif.Long(0xA005, {0});
    if (!exif.Empty()) primary.Long(0x8769, {0});
    if (!Gps.Empty()) primary.Long(0x8825, {0});
    if (!ThumbnailJPEG.empty()) {
      thumbnail.Long(0x0201, {0});
      thumbnail.Long(0x0202, {static_cast<std::uint32_t>(ThumbnailJPEG.size())});
    }
    SortById(primary);
    SortById(exif);
    SortById(thumbnail);

    ByteBuilder out(Order);
    if (WithExifHeader) out.Text(std::string_view("Exif\0\0", 6));
    const std::size_t base = out.Size();
    out.Text(Order == Zorp::Exif::boBigEndian ? "MM" : "II").U16(42).U32(8);

    std::vector<IfdBuilder*> order = {&primary, &exif, &Gps, &Interop, &thumbnail};
    std::vector<std::uint32_t> starts(order.size(), 0);
    std::size_t nextLinkAt = 0;
    ValueOffsets.clear();
    for (std::size_t i = 0; i < order.size(); ++i) {
      IfdBuilder& ifd = *order[i];
      if (ifd.Empty()) continue;
      starts[i] = static_cast<std::uint32_t>(out.Size() - base);
      if (i == 4 && nextLinkAt) out.PatchU32(nextLinkAt, starts[i]);  // IFD0 -> IFD1
      const std::size_t linkAt = WriteIfd(out, base, ifd, static_cast<int>(i));
      if (i == 0) nextLinkAt = linkAt;
    }
    auto patchPointer = [&](int ifdIndex, std::uint16_t id, std::uint32_t value) {
      auto it = ValueOffsets.find({ifdIndex, id});
      if (it != ValueOffsets.end()) out.PatchU32(base + it->second, value);
    };
    patchPointer(0, 0x8769, starts[1]);
    patchPointer(0, 0x8825, starts[2]);
    patchPointer(1, 0xA005, starts[3]);
    if (!ThumbnailJPEG.empty()) {
      patchPointer(4, 0x0201, static_cast<std::uint32_t>(out.Size() - base));
      out.Bytes(ThumbnailJPEG);
    }
    return out.Data();
  }

  // A JPEG file: SOI, APP0 (JFIF), the Exif APP1, extra APP1 segments, a tiny frame, SOS, scan, EOI.
  static std::vector<std::uint8_t> Jpeg(const std::vector<std::vector<std::uint8_t>>& app1Segments) {
    ByteBuilder out;
    out.Bytes({0xFF, 0xD8});
    out.Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    for (const auto& data : app1Segments) out.Segment(0xE1, data);
    out.Segment(0xC0, {8, 0, 16, 0, 24, 1, 1, 0x11, 0});  // 24 x 16, one component
    out.Segment(0xDA, {1, 1, 0, 0, 63, 0});
    out.Bytes({0x12, 0x34, 0xFF, 0x00, 0x56});  // scan data with a stuffed byte
    out.Bytes({0xFF, 0xD9});
    return out.Data();
  }

 private:
  static void SortById(IfdBuilder& ifd) {
    std::stable_sort(ifd.Entries.begin(), ifd.Entries.end(),
                     [](const auto& a, const auto& b) { return a.ID < b.ID; });
  }

  // Writes the directory and its referenced values; returns where its next-IFD link lies.
  std::size_t WriteIfd(ByteBuilder& out, std::size_t base, const IfdBuilder& ifd, int ifdIndex) {
    const std::size_t count = ifd.Entries.size();
    std::size_t dataAt = out.Size() - base + 2 + 12 * count + 4;
    out.U16(static_cast<std::uint16_t>(count));
    std::vector<std::pair<const IfdBuilder::Entry*, std::size_t>> referenced;
    for (const auto& e : ifd.Entries) {
      out.U16(e.ID).U16(e.Type).U32(e.Count);
      const std::uint32_t size = EntryValueSize(e);
      if (size <= 4) {
        ValueOffsets[{ifdIndex, e.ID}] = static_cast<std::uint32_t>(out.Size() - base);
        const std::size_t before = out.Size();
        WriteValue(out, e);
        out.Fill(4 - (out.Size() - before));
      } else {
        ValueOffsets[{ifdIndex, e.ID}] = static_cast<std::uint32_t>(dataAt);
        out.U32(static_cast<std::uint32_t>(dataAt));
        referenced.push_back({&e, dataAt});
        dataAt += size + (size & 1);
      }
    }
    const std::size_t linkAt = out.Size();
    out.U32(0);  // next IFD
    for (const auto& [e, at] : referenced) {
      (void)at;
      WriteValue(out, *e);
      if (EntryValueSize(*e) & 1) out.Fill(1);
    }
    return linkAt;
  }

  static void WriteValue(ByteBuilder& out, const IfdBuilder::Entry& e) {
    static const std::uint32_t sizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    const std::uint32_t size = e.Type < 14 ? sizes[e.Type] : 0;
    if (size == 1 || size == 0) {
      out.Bytes(e.Bytes);
      out.Fill(EntryValueSize(e) > e.Bytes.size() ? EntryValueSize(e) - e.Bytes.size() : 0);
    } else if (size == 2) {
      for (std::uint32_t w : e.Words) out.U16(static_cast<std::uint16_t>(w));
    } else {
      for (std::uint32_t w : e.Words) out.U32(w);
    }
  }
};

// A small camera's Exif block: make "Canon", orientation 1, exposure time 1/60, a Canon MakerNote
// holding tag 1 = 7 (SHORT), and an 8 x 4 grey thumbnail.
inline ExifBuilder CanonCamera(Zorp::Exif::TByteOrder order = Zorp::Exif::boLittleEndian) {
  ExifBuilder block(order);
  block.Primary.Ascii(0x010F, "Canon").Short(0x0112, {1});
  ByteBuilder note(Zorp::Exif::boLittleEndian);
  note.U16(1).U16(1).U16(3).U32(1).U16(7).U16(0).U32(0);
  block.Exif.Rational(0x829A, 1, 60).Undefined(0x927C, note.Data());
  block.Thumbnail.Short(0x0103, {6});
  std::vector<std::uint8_t> rgb(8 * 4 * 3, 128);
  Zorp::Base::TJPEGImage thumbnail;
  thumbnail.AssignRGB(rgb.data(), 8, 4);
  block.ThumbnailJPEG = thumbnail.Bytes();
  return block;
}

// Loads a JPEG file's bytes into the container.
inline void LoadJPEG(Zorp::Exif::TCustomExifData& data, const std::vector<std::uint8_t>& jpeg) {
  Zorp::Base::TUserMemoryStream stream(jpeg.data(), static_cast<std::int64_t>(jpeg.size()));
  data.LoadFromJPEG(stream);
}

// Loads an Exif block ("Exif" 00 00 and TIFF data) into the container.
inline void LoadBlock(Zorp::Exif::TExifData& data, const std::vector<std::uint8_t>& block) {
  Zorp::Base::TUserMemoryStream stream(block.data(), static_cast<std::int64_t>(block.size()));
  data.LoadFromStream(stream);
}

// Rewrites a JPEG file's bytes around the container's metadata, in memory.
inline std::vector<std::uint8_t> SaveJPEG(Zorp::Exif::TExifData& data, const std::vector<std::uint8_t>& jpeg) {
  Zorp::Base::TMemoryStream in, out;
  in.WriteBuffer(jpeg.data(), static_cast<std::int64_t>(jpeg.size()));
  in.SetPosition(0);
  data.SaveToJPEG(in, out);
  return out.Bytes();
}

}  // namespace Zorp::Testing
