// Fuzz harness over the viewer's listing: arbitrary bytes loaded as a photo and listed with the
// shipped MakerNote descriptions, then every row exported, copied and laid out for drawing. The
// listing reports failures in a notice row, so nothing may escape it; any exception or crash is a
// finding.

#include <cstddef>
#include <cstdint>

#include "core/PhotoListing.h"
#include "core/RowDrawing.h"
#include "core/RowText.h"
#include "core/XmpListing.h"
#include "zorp/base/Streams.h"

namespace {

using namespace Quorvane::Viewer;

const TMemIniFile& Descriptions() {
  static const TMemIniFile ini(std::string(QUORVANE_SOURCE_DIR) + "/viewer/MakerNotes.ini");
  return ini;
}

void UseRows(const TListRows& rows) {
  (void)ExportText(rows);
  for (const TListRow& row : rows) {
    (void)CopyText(row);
    (void)DrawRow(row, false, TRect{0, 0, 400, 17}, 13, 150);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  Zorp::Base::TUserMemoryStream stream(bytes, static_cast<std::int64_t>(size));
  const TPhotoListing listing = ListPhoto(stream, "fuzz.jpg", Descriptions(), Zorp::Base::InvariantFormatSettings());
  UseRows(listing.Standard);
  UseRows(listing.MakerNote);
  if (listing.Data) {
    TListRows xmp;
    ListXMP(xmp, *listing.Data);
    UseRows(xmp);
  }
  return 0;
}
