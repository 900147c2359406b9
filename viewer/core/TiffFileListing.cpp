#include "core/TiffFileListing.h"

#include <string>

#include "zorp/base/FormatSettings.h"
#include "zorp/exif/TagNames.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;

std::string TiffPreviewText(const TTiffFile& file) {
  const TTiffPreview* preview = file.LargestPreview();
  if (!preview) return "None";
  std::string text;
  if (preview->Width > 0 && preview->Height > 0)
    text = std::to_string(preview->Width) + " x " + std::to_string(preview->Height) + " ";
  return text + "JPEG, " + std::to_string(preview->Size) + " bytes at offset " + std::to_string(preview->Offset) +
         " (" + preview->Source + ")";
}

void ListTiffFile(TListRows& rows, const TTiffFile& file) {
  AddItem(rows, "File format", false, "", "", file.FormatName());
  AddItem(rows, "Preview", false, "", "", TiffPreviewText(file));
  for (const TTiffDirectory& directory : file.Directories()) {
    AddCaption(rows, directory.Name);
    AddLoadStatusItem(rows, *directory.Tags, false);
    for (const TExifTag* tag : *directory.Tags) {
      const char* name = StandardTagName(skPrimary, tag->ID());
      const std::string caption = name ? std::string(name) : Zorp::Base::Format("Tag 0x%.4X", tag->ID());
      std::string value = tag->AsStringPrefix(MaxTiffValueText);
      if (value.size() > MaxTiffValueText) {
        // Cut on a character boundary of the UTF-8 text.
        std::size_t cut = MaxTiffValueText;
        while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
        value = value.substr(0, cut) + "...";
      }
      AddItem(rows, caption, false, "", "", value);
    }
  }
}

}  // namespace Quorvane::Viewer
