// Fuzz harness over IPTC: the input is Photoshop resource data. It is parsed and listed, its
// keywords are edited, the resources are written and parsed again, and the same data goes through
// a JPEG load, edit, save and load. Only the library's own exceptions are expected; a crash, another
// exception or written data that reads back differently (abort) is a finding.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/IptcListing.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/IPTC.h"

namespace {

using namespace Zorp::Exif;

void Require(bool condition) {
  if (!condition) std::abort();
}

bool SameDatasets(const TIPTCData& a, const TIPTCData& b) {
  const auto& x = a.Datasets();
  const auto& y = b.Datasets();
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i)
    if (x[i].Record != y[i].Record || x[i].Number != y[i].Number || x[i].Value != y[i].Value) return false;
  return true;
}

// SOI, one or more APP13 segments with the data, an empty scan and EOI.
std::vector<std::uint8_t> PhotoOf(const TIPTCData& iptc) {
  std::vector<std::uint8_t> jpeg = {0xFF, 0xD8};
  for (const auto& segment : iptc.SegmentData()) {
    jpeg.insert(jpeg.end(), {0xFF, jmApp13, static_cast<std::uint8_t>((segment.size() + 2) >> 8),
                             static_cast<std::uint8_t>(segment.size() + 2)});
    jpeg.insert(jpeg.end(), segment.begin(), segment.end());
  }
  jpeg.insert(jpeg.end(), {0xFF, 0xDA, 0x00, 0x02, 0x00, 0xFF, 0xD9});
  return jpeg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    TIPTCData iptc;
    iptc.LoadFromResources({data, size});
    Quorvane::Viewer::TListRows rows;
    Quorvane::Viewer::ListIPTCData(rows, iptc);
    // Unedited, every byte is written back as it was read (a digest only made current).
    if (!iptc.DigestIsStale()) Require(iptc.ResourceBytes() == std::vector<std::uint8_t>(data, data + size));
    if (!iptc.Writable()) return 0;
    iptc.SetValues("Keywords", {"fuzz", "K\xC3\xB6ln"});
    TIPTCData again;
    again.LoadFromResources(iptc.ResourceBytes());
    Require(SameDatasets(iptc, again) && !again.DigestIsStale());

    // The same through a photo.
    const std::vector<std::uint8_t> photo = PhotoOf(iptc);
    TExifData container;
    Zorp::Base::TUserMemoryStream input(photo.data(), static_cast<std::int64_t>(photo.size()));
    container.LoadFromJPEG(input);
    container.IPTC().SetValues("City", {"Paris"});
    input.SetPosition(0);
    Zorp::Base::TMemoryStream output;
    container.SaveToJPEG(input, output);
    output.SetPosition(0);
    container.VerifySavedJPEG(output);
    TExifData reloaded;
    output.SetPosition(0);
    reloaded.LoadFromJPEG(output);
    Require(SameDatasets(container.IPTC(), reloaded.IPTC()));
  } catch (const Zorp::Base::Exception&) {
  }
  return 0;
}
