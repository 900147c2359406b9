#include "core/XmpListing.h"

#include <string>

#include "zorp/exif/Consts.h"
#include "zorp/exif/JPEGUtils.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;

void ListXMPPacket(TListRows& rows, const TXMPPacket& packet) {
  for (TXMPListedValue& value : ListXMPPathsAndValues(packet))
    rows.push_back(TListRow{std::move(value.Path), {std::move(value.Value), std::string(), std::string()}});
}

void ListXMP(TListRows& rows, TExifData& data) {
  if (!data.SourceMetadata().Contains(mkXMP)) {
    AddCaption(rows, NoXMPNotice);
    return;
  }
  // The container parses its segment silently, so a probe parse on the side tells a packet that is
  // not valid from one without properties.
  if (const auto& pending = data.PendingXMPSegment()) {
    Zorp::Base::TMemoryStream& bytes = pending->Data();
    bytes.SetPosition(0);
    TXMPPacket probe;
    if (!probe.TryLoadFromStream(bytes)) {
      AddCaption(rows, std::string(XMPFailureNotice) + SInvalidXMPPacket);
      return;
    }
  }
  ListXMPPacket(rows, data.XMPPacket());
}

}  // namespace Quorvane::Viewer
