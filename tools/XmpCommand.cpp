// `quorvane-cli xmp`: loads each file through its format, reads its XMP packet and prints the model
// one line per simple value, or the packet text written for the model.

#include <ostream>

#include "Commands.h"
#include "OutputChannel.h"
#include "core/RowText.h"
#include "core/XmpListing.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/MetadataFile.h"
#include "zorp/exif/XMPUtils.h"

namespace Quorvane::Cli {

using namespace Zorp::Exif;
using Quorvane::Viewer::ListXMPPacket;
using Quorvane::Viewer::MarkLineBreaks;
using Quorvane::Viewer::TListRow;
using Quorvane::Viewer::TListRows;

int RunXmp(const std::vector<std::string>& files, bool regenerate, std::ostream& out, std::ostream& err) {
  int status = 0;
  for (const std::string& file : files) {
    // A file's text is written once it is complete: one that fails has none.
    std::string text = "file: " + MarkLineBreaks(file) + '\n';
    try {
      const auto photo = TMetadataFile::Create(file);
      TExifData& data = photo->Exif();
      data.SetEnsureEnumsInRange(false);
      // The handler is set before loading, so that the packet's first read reports a failure here.
      bool failed = false;
      data.XMPPacket().SetOnLoadError([&failed](TXMPPacket&, Zorp::Base::TStream&) { failed = true; });
      photo->Load();
      if (!data.RecoveryNote().empty()) err << ErrorLine(file, data.RecoveryNote());
      if (!data.SourceMetadata().Contains(mkXMP)) {
        out << text << "xmp: none\n";
        continue;
      }
      TXMPPacket& packet = data.XMPPacket();
      if (failed) throw EInvalidXMPPacket(SInvalidXMPPacket);
      if (regenerate) {
        packet.Changed(true);  // drop the cached text, as after a change
        packet.SetWriteSegmentHeader(false);
        Zorp::Base::TMemoryStream packetText;
        packet.SaveToStream(packetText);
        text.append(reinterpret_cast<const char*>(packetText.Memory()), static_cast<std::size_t>(packetText.Size()));
        text += '\n';
      } else {
        text += "about: " + MarkLineBreaks(packet.AboutAttributeValue()) + '\n';
        TListRows rows;
        ListXMPPacket(rows, packet);  // the rows of the viewer's XMP tab
        for (const TListRow& row : rows)
          text += MarkLineBreaks(row.Caption) + " = " + MarkLineBreaks(row.Value()) + '\n';
      }
      out << text;
    } catch (const std::exception& e) {
      status = 1;
      err << ErrorLine(file, e.what());
    }
  }
  return status;
}

}  // namespace Quorvane::Cli
