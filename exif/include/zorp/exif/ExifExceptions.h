#pragma once
// The metadata library's exception tree, rooted in EZorpExifException.

#include "zorp/base/Exceptions.h"

namespace Zorp::Exif {

ZORP_DECLARE_EXCEPTION(EZorpExifException, Zorp::Base::Exception);
ZORP_DECLARE_EXCEPTION(EInvalidTiffData, EZorpExifException);           // "Malformed TIFF data"
ZORP_DECLARE_EXCEPTION(ENotOnlyASCIIError, EInvalidTiffData);           // "Tag may contain only ASCII string data"
ZORP_DECLARE_EXCEPTION(ETagAlreadyExists, EInvalidTiffData);            // "Tag with ID of "%d" already exists in section"
ZORP_DECLARE_EXCEPTION(EInvalidMakerNoteFormat, EInvalidTiffData);      // "Invalid MakerNote format"
ZORP_DECLARE_EXCEPTION(EInvalidExifData, EZorpExifException);           // "No Exif header found"
ZORP_DECLARE_EXCEPTION(EExifDataPatcherError, EZorpExifException);
ZORP_DECLARE_EXCEPTION(EIllegalEditOfExifData, EExifDataPatcherError);  // "Illegal attempt to edit ..."
// IPTC: a value that the dataset cannot hold, or an edit of resources that could not be read whole.
ZORP_DECLARE_EXCEPTION(EIPTCError, EZorpExifException);
ZORP_DECLARE_EXCEPTION(EInvalidIPTCValue, EIPTCError);
ZORP_DECLARE_EXCEPTION(EIPTCNotWritable, EIPTCError);

}  // namespace Zorp::Exif
