#include "OutputChannel.h"

#include <sys/uio.h>

#include <unistd.h>

#include <cerrno>

#include "core/RowText.h"
#include "zorp/base/TextEncoding.h"

namespace Quorvane::Cli {

namespace {

constexpr std::size_t BlockSize = 64 * 1024;

bool IsBidiControl(char32_t code) {
  return code == 0x061C || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069);
}

void AppendEscape(std::string& out, const char* prefix, unsigned value, int digits) {
  static const char hex[] = "0123456789abcdef";
  out += prefix;
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += hex[(value >> shift) & 0xF];
}

}  // namespace

std::string EscapeForTerminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t code = 0;
    const std::size_t length = Zorp::Base::DecodeUtf8(text, pos, code);
    if (length == 0) {  // not UTF-8: the byte itself
      AppendEscape(out, "\\x", static_cast<unsigned char>(text[pos]), 2);
      ++pos;
      continue;
    }
    if ((code < 0x20 && code != '\n') || (code >= 0x7F && code <= 0x9F))
      AppendEscape(out, "\\x", static_cast<unsigned>(code), 2);
    else if (IsBidiControl(code))
      AppendEscape(out, "\\u", static_cast<unsigned>(code), 4);
    else
      out.append(text.substr(pos, length));
    pos += length;
  }
  return out;
}

std::size_t CompleteUtf8Length(std::string_view text) {
  // A lead byte among the last three whose sequence needs more bytes than follow it.
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return needed > back ? text.size() - back : text.size();
  }
  return text.size();
}

std::string ErrorLine(std::string_view file, std::string_view reason) {
  return "quorvane-cli: " + Viewer::MarkLineBreaks(file) + ": " + Viewer::MarkLineBreaks(reason) + '\n';
}

std::string ErrorLine(std::string_view reason) { return "quorvane-cli: " + Viewer::MarkLineBreaks(reason) + '\n'; }

TOutputChannel::TOutputChannel(int fd, bool escapeForTerminal) : FFd(fd), FEscape(escapeForTerminal) {}

TOutputChannel::~TOutputChannel() { Close(); }

bool TOutputChannel::Close() { return Drain(true); }

TOutputChannel::int_type TOutputChannel::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (FError != 0) return traits_type::eof();
  FHeld += traits_type::to_char_type(c);
  if (FHeld.size() >= BlockSize && !Drain(false)) return traits_type::eof();
  return c;
}

std::streamsize TOutputChannel::xsputn(const char* text, std::streamsize count) {
  if (FError != 0) return 0;
  // Text that fills a block with what is held goes out with it in one write, without a copy (a
  // file's JSON document is tens of kilobytes).
  if (!FEscape && FHeld.size() + static_cast<std::size_t>(count) >= BlockSize) {
    if (!WriteAll(FHeld, std::string_view(text, static_cast<std::size_t>(count)))) return 0;
    FHeld.clear();
    return count;
  }
  FHeld.append(text, static_cast<std::size_t>(count));
  if (FHeld.size() >= BlockSize && !Drain(false)) return 0;
  return count;
}

int TOutputChannel::sync() { return Drain(false) ? 0 : -1; }

bool TOutputChannel::Drain(bool final) {
  if (FError != 0) {
    FHeld.clear();
    return false;
  }
  const std::size_t ready = FEscape && !final ? CompleteUtf8Length(FHeld) : FHeld.size();
  const std::string escaped = FEscape ? EscapeForTerminal(std::string_view(FHeld).substr(0, ready)) : std::string();
  const std::string_view bytes = FEscape ? std::string_view(escaped) : std::string_view(FHeld).substr(0, ready);
  if (!WriteAll(bytes)) return false;
  FHeld.erase(0, ready);
  return true;
}

bool TOutputChannel::WriteAll(std::string_view first, std::string_view second) {
  iovec parts[2] = {{const_cast<char*>(first.data()), first.size()}, {const_cast<char*>(second.data()), second.size()}};
  iovec* next = parts;
  int left = 2;
  while (left > 0) {
    if (next->iov_len == 0) {
      ++next, --left;
      continue;
    }
    const ssize_t count = ::writev(FFd, next, left);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      FError = count < 0 ? errno : EIO;
      FHeld.clear();
      return false;
    }
    // Skips what was written, a whole part or the start of one.
    for (auto done = static_cast<std::size_t>(count); done > 0;) {
      const std::size_t taken = std::min(done, next->iov_len);
      next->iov_base = static_cast<char*>(next->iov_base) + taken;
      next->iov_len -= taken;
      done -= taken;
      if (next->iov_len == 0 && left > 1) ++next, --left;
    }
  }
  return true;
}

}  // namespace Quorvane::Cli
