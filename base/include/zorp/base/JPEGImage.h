#pragma once
// A JPEG image held as its compressed bytes: the Exif thumbnail. Loading keeps the bytes exactly as
// given, so an image that is not changed saves byte-identical; the header is decoded only when the
// size is asked for, the pixels only when an operation needs them. Damaged data never crashes:
// Width()/Height() give 0 and pixel operations raise EInvalidGraphic.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "zorp/base/Streams.h"

namespace Zorp::Base {

class TJPEGImage {
 public:
  static constexpr int DefaultQuality = 90;
  // Decoded images above this many bytes of RGB pixels are refused.
  static constexpr std::int64_t MaxPixelBytes = 64 * 1024 * 1024;

  TJPEGImage() = default;
  // Copies and moves take the image (bytes, pixels, quality), never the OnChange handler, which
  // belongs to the object's owner. Assigning fires the target's OnChange.
  TJPEGImage(const TJPEGImage& source);
  TJPEGImage(TJPEGImage&& source) noexcept;
  TJPEGImage& operator=(const TJPEGImage& source);
  TJPEGImage& operator=(TJPEGImage&& source);
  ~TJPEGImage() = default;

  // Takes a copy of size bytes of JPEG data. Nothing is decoded here.
  void LoadFromBytes(const std::uint8_t* data, std::size_t size);
  // Takes count bytes from the stream's position (count < 0: the rest of the stream). Fewer bytes
  // than count raises EReadError ("Stream read error") and leaves the image as it was.
  void LoadFromStream(TStream& stream, std::int64_t count = -1);
  // Builds the image from width x height RGB pixels (3 bytes each, rows top down), encoded at
  // CompressionQuality(). Raises EInvalidGraphic for a size of 0 or one above MaxPixelBytes.
  void AssignRGB(const std::uint8_t* rgb, int width, int height);
  // Writes the JPEG bytes: those loaded, or the encoding of the last pixel change.
  void SaveToStream(TStream& stream) const;

  // The bytes SaveToStream writes.
  const std::vector<std::uint8_t>& Bytes() const { return FData; }
  bool Empty() const { return FData.empty(); }
  // Size from the JPEG header; 0 x 0 for an empty or unreadable image. Never raises.
  int Width() const;
  int Height() const;

  // Quality (1..100, clamped) of the next encoding. When the image was built from pixels they are
  // encoded again at once; loaded bytes are kept as they are until the pixels change.
  int CompressionQuality() const { return FQuality; }
  void SetCompressionQuality(int quality);
  // The image encoded afresh at quality (1..100, clamped): decoded first unless built from pixels.
  // Empty for an empty image; EInvalidGraphic when the data cannot be decoded.
  std::vector<std::uint8_t> Encoded(int quality) const;

  // Decodes to RGB pixels (3 bytes each, rows top down). False, with rgb empty and 0 x 0, for an
  // empty, undecodable or oversized image. Never raises.
  bool DecodeRGB(std::vector<std::uint8_t>& rgb, int& width, int& height) const;
  // A copy resampled to width x height and encoded at this image's quality. An empty image (or a
  // size of 0) gives an empty image; undecodable data raises EInvalidGraphic.
  TJPEGImage StretchedTo(int width, int height) const;
  // Replaces this image by StretchedTo(width, height).
  void ResizeTo(int width, int height);

  void Assign(const TJPEGImage& source);
  void Clear();

  // Set by every change, cleared by the owner once it has taken note.
  bool Modified() const { return FModified; }
  void SetModified(bool modified) { FModified = modified; }

  // Fired after the image changes: load, assign, clear, resize, pixel change.
  const std::function<void()>& OnChange() const { return FOnChange; }
  void SetOnChange(std::function<void()> handler) { FOnChange = std::move(handler); }

 private:
  void TakeContent(const TJPEGImage& source);
  void Changed();
  void ReadHeader() const;

  std::vector<std::uint8_t> FData;    // the compressed bytes
  std::vector<std::uint8_t> FPixels;  // RGB pixels when the image was built from them, else empty
  int FPixelWidth = 0;
  int FPixelHeight = 0;
  int FQuality = DefaultQuality;
  bool FModified = false;
  // Header cache, filled on first use of Width()/Height().
  mutable bool FHeaderRead = false;
  mutable int FWidth = 0;
  mutable int FHeight = 0;
  std::function<void()> FOnChange;
};

}  // namespace Zorp::Base
