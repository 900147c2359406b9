#pragma once
// Shared pieces of the MakerNote classes, one file per maker.

#include <span>
#include <string_view>

#include "zorp/exif/MakerNotes.h"

namespace Zorp::Exif::Detail {

bool DataStartsWith(const TExifTag& tag, std::string_view signature);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

// A format test that also reports the header size.
inline bool Accept(std::int32_t& headerSize, std::int32_t size, bool ok) {
  if (ok) headerSize = size;
  return ok;
}

// How a form's directory is ordered: as the Exif block, fixed, or by "II"/"MM" at OrderMarkAt.
enum class TFormOrder : std::uint8_t { AsBlock, Little, Big, Marked };

// One header form of a maker's MakerNote, as the reader needs it.
struct TMakerNoteForm {
  std::string_view Signature;  // the MakerNote starts with these bytes; empty: recognised by Make
  std::string_view Make;       // without a signature: the camera make starts with this (any case)
  std::int32_t HeaderSize;     // the bytes in front of the directory
  TMakerNoteOffsetBase Base = obMainHeader;
  TFormOrder Order = TFormOrder::AsBlock;
  std::int32_t OrderMarkAt = 0;
  // >= 0: the directory starts where the little-endian 32-bit number at this place says instead.
  std::int32_t DirectoryPointerAt = -1;
  // Offsets count from the Exif header in some cameras and from the MakerNote's start in others:
  // the base that puts every value behind the directory is taken, Base when both or neither do.
  bool BaseVaries = false;
};

// The first of the forms the context's MakerNote has, with its header size; null when none.
const TMakerNoteForm* FindForm(std::span<const TMakerNoteForm> forms, const TMakerNoteContext& context,
                               std::int32_t& headerSize);

// The byte order and offset base of a MakerNote of the form.
void FormIFDInfo(const TMakerNoteForm& form, const TMakerNoteContext& context, TByteOrder& byteOrder,
                 TMakerNoteOffsetBase& base);

}  // namespace Zorp::Exif::Detail

namespace Zorp::Exif {

// A maker's class described by its header forms alone: Class is its registry entry, Forms its forms.
template <const TExifMakerNoteClass& Class, const auto& Forms>
class TFormMakerNote final : public TExifMakerNote {
 public:
  explicit TFormMakerNote(TExifSection& section) : TExifMakerNote(section) {}
  const TExifMakerNoteClass& ClassType() const override { return Class; }

  static bool FormatIsOK(const TMakerNoteContext& context, std::int32_t& headerSize) {
    return Detail::FindForm(Forms, context, headerSize) != nullptr;
  }

 protected:
  void GetIFDInfo(const TMakerNoteContext& context, TByteOrder& byteOrder, TMakerNoteOffsetBase& base) override {
    std::int32_t headerSize = 0;
    if (const Detail::TMakerNoteForm* form = Detail::FindForm(Forms, context, headerSize))
      Detail::FormIFDInfo(*form, context, byteOrder, base);
  }
};

}  // namespace Zorp::Exif
