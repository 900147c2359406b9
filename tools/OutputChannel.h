#pragma once
// Where quorvane-cli's text goes: a stream buffer over a file descriptor that notices a failed write
// (a full disk, /dev/full) and, for a terminal, shows control characters as escapes; and the one
// form of its error lines.

#include <cstddef>
#include <streambuf>
#include <string>
#include <string_view>

namespace Quorvane::Cli {

// The text with what a terminal would act on shown as escapes, every line feed kept: C0 controls,
// DEL, C1 controls (U+0080..U+009F) and bytes that are not UTF-8 as "\x1b", the bidirectional
// controls (U+061C, U+200E, U+200F, U+202A..U+202E, U+2066..U+2069) as "\u202e".
std::string EscapeForTerminal(std::string_view text);

// The length of text without a UTF-8 sequence cut off at its end (one that more bytes may complete).
std::size_t CompleteUtf8Length(std::string_view text);

// "quorvane-cli: FILE: reason" and "quorvane-cli: reason", each one line ending in a line feed: line
// breaks in the file name or reason are marked as "\n" and "\r".
std::string ErrorLine(std::string_view file, std::string_view reason);
std::string ErrorLine(std::string_view reason);

// Writes what is put into it to a file descriptor with write(2), in blocks. With escapeForTerminal
// the text passes EscapeForTerminal first (a sequence split between two puts is escaped whole). The
// first failed write is remembered and everything after it dropped, so the stream reports failure.
class TOutputChannel final : public std::streambuf {
 public:
  TOutputChannel(int fd, bool escapeForTerminal);
  ~TOutputChannel() override;
  TOutputChannel(const TOutputChannel&) = delete;
  TOutputChannel& operator=(const TOutputChannel&) = delete;

  void SetEscapeForTerminal(bool escape) { FEscape = escape; }
  // Writes everything still held; false when any write failed.
  bool Close();
  // The errno of the first failed write; 0 when none failed.
  int Error() const { return FError; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  // Writes the held text; a cut-off UTF-8 sequence at its end waits for more unless final.
  bool Drain(bool final);
  // Writes all of first, then all of second, in as few writes as the output takes; false (and
  // FError set) when the output fails.
  bool WriteAll(std::string_view first, std::string_view second = {});

  int FFd;
  bool FEscape;
  int FError = 0;
  std::string FHeld;
};

}  // namespace Quorvane::Cli
