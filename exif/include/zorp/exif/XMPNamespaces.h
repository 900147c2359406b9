#pragma once
// XMP namespaces and kinds: the well-known namespace table, namespace records, property kinds,
// write policies and the check every stored text passes.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "zorp/base/Exceptions.h"
#include "zorp/exif/ExifExceptions.h"

namespace Zorp::Exif {

ZORP_DECLARE_EXCEPTION(EInvalidXMPText, EZorpExifException);  // text an XMP packet cannot hold

// Raises EInvalidXMPText unless text is valid UTF-8 made only of characters XML can hold: no control
// character but TAB, LF and CR, and neither U+FFFE nor U+FFFF. Every text the tree stores (values,
// names, languages, prefixes, URIs, the about value) passes this check first.
void CheckXMPText(std::string_view text);

// ---------------------------------------------------------------------------------------------------
// Namespaces

enum TXMPNamespaceKind : std::uint8_t {
  xnCustom = 0,
  xnRDF,
  xnCameraRaw,
  xnColorant,
  xnDimensions,
  xnDublinCore,
  xnFont,
  xnExif,
  xnExifAux,
  xnIPTCCore,
  xnJob,
  xnMicrosoftPhoto,
  xnPDF,
  xnPhotoshop,
  xnResourceEvent,
  xnResourceRef,
  xnThumbnail,
  xnTIFF,
  xnVersion,
  xnXMPBasic,
  xnXMPBasicJobTicket,
  xnXMPDynamicMedia,
  xnXMPMediaManagement,
  xnXMPPagedText,
  xnXMPRights
};
inline constexpr int XMPWellKnownNamespaceCount = 24;

// The well-known table, built once on first use. The prefix of xnCustom is a programming error
// (EAssertionFailed); its URI is empty. URIs are found without regard to ASCII letter case.
const std::string& XMPNamespacePrefix(TXMPNamespaceKind kind);
const std::string& XMPNamespaceURI(TXMPNamespaceKind kind);
bool TryFindXMPNamespace(std::string_view uri, TXMPNamespaceKind& kind);

// A namespace record: a stored prefix and URI, or a well-known kind whose table values fill in.
class TXMPNamespaceInfo {
 public:
  using TNotifyEvent = std::function<void(TXMPNamespaceInfo& sender)>;

  explicit TXMPNamespaceInfo(TXMPNamespaceKind kind);
  TXMPNamespaceInfo(std::string prefix, std::string uri);  // kind xnCustom
  // A copy of the source's values; the change handler is not copied.
  TXMPNamespaceInfo(const TXMPNamespaceInfo& source);
  TXMPNamespaceInfo& operator=(const TXMPNamespaceInfo&) = delete;

  // Copies the values, then notifies.
  void Assign(const TXMPNamespaceInfo& source);
  // Copies stored prefix, stored URI and kind without notification.
  void CopyFrom(const TXMPNamespaceInfo& source);

  TXMPNamespaceKind Kind() const { return FKind; }
  // The stored prefix, or the table prefix of a well-known kind when nothing is stored.
  const std::string& PreferredPrefix() const;
  // Stores and notifies when the text differs (case-sensitively) from the current reading.
  void SetPreferredPrefix(const std::string& prefix);
  // The table URI of a well-known kind, otherwise the stored URI.
  const std::string& URI() const;

  // Takes the prefix and URI found on a DOM node. Returns false (and changes nothing) when both
  // equal the current readings; otherwise re-derives the kind from the URI and returns true,
  // without notification.
  bool UpdatePrefixAndURI(const std::string& prefix, const std::string& uri);

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent handler) { FOnChange = std::move(handler); }

 private:
  void DoChange();

  std::string FPreferredPrefix;
  std::string FURI;
  TXMPNamespaceKind FKind = xnCustom;
  TNotifyEvent FOnChange;
};

// ---------------------------------------------------------------------------------------------------
// Property kinds and write policies

enum TXMPPropertyKind : std::uint8_t {
  pkSimple = 0,           // a text value
  pkStructure = 1,        // named fields (rdf:Description)
  pkLangAlternative = 2,  // items named by language (rdf:Alt)
  pkBag = 3,              // unnamed items (rdf:Bag)
  pkSequence = 4          // unnamed ordered items (rdf:Seq)
};

enum TXMPWritePolicy : std::uint8_t {
  wpUpdateOrAdd = 0,         // updates create the schema and the property when missing
  wpUpdateExistingOnly = 1,  // updates change only what exists
  wpRemove = 2               // every update removes the property instead
};

}  // namespace Zorp::Exif
