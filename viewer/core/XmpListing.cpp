#include "core/XmpListing.h"

#include <filesystem>
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
  } else if (data.UnreadableXMP()) {
    AddCaption(rows, std::string(XMPFailureNotice) + SInvalidXMPPacket);
    return;
  }
  ListXMPPacket(rows, data.XMPPacket());
}

void ListXMP(TListRows& rows, TMetadataFile& file) {
  if (file.WritesInPlace()) {
    ListXMP(rows, file.Exif());
  } else if (const TXMPPacket* embedded = file.EmbeddedXMP()) {
    AddCaption(rows, EmbeddedXMPCaption);
    ListXMPPacket(rows, *embedded);
  }
  const std::string& sidecar = file.SidecarFileName();
  if (sidecar.empty()) {
    if (!file.WritesInPlace() && !file.EmbeddedXMP()) AddCaption(rows, NoXMPNotice);
    return;
  }
  const std::string name = std::filesystem::path(sidecar).filename().string();
  if (!file.SidecarError().empty()) {
    AddCaption(rows, std::string(SidecarFailureNotice) + name + ": " + file.SidecarError());
    return;
  }
  AddCaption(rows, std::string(SidecarCaption) + name);
  ListXMPPacket(rows, *file.Sidecar());
}

}  // namespace Quorvane::Viewer
