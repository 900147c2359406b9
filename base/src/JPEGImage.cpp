#include "zorp/base/JPEGImage.h"

#include <turbojpeg.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/Messages.h"

// The resampler is header-only; its functions stay private to this file.
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb/stb_image_resize.h>

namespace Zorp::Base {

namespace Detail {

struct TurboJPEGDestroyer {
  void operator()(void* handle) const { tjDestroy(handle); }
};
using TurboJPEGHandle = std::unique_ptr<void, TurboJPEGDestroyer>;

struct TurboJPEGFree {
  void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

[[noreturn]] void RaiseJPEGError(const std::string& detail) {
  throw EInvalidGraphic(Format(SJPEGError, detail.c_str()));
}

std::string LastError(void* handle) { return tjGetErrorStr2(handle); }

// Whether width x height RGB pixels are a size this class handles.
bool PixelSizeAcceptable(int width, int height) {
  return width > 0 && height > 0 && std::int64_t{width} * height * 3 <= TJPEGImage::MaxPixelBytes;
}

std::string SizeText(int width, int height) {
  return Format("an image of %d x %d pixels is not supported", width, height);
}

// Reads the size from the JPEG header; false when the data is not a readable JPEG.
bool ReadJPEGHeader(const std::vector<std::uint8_t>& data, int& width, int& height) {
  width = height = 0;
  if (data.empty()) return false;
  // One decompressor per thread serves every header: setting one up costs more than reading a header.
  thread_local const TurboJPEGHandle handle(tjInitDecompress());
  if (!handle) return false;
  int subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(handle.get(), data.data(), static_cast<unsigned long>(data.size()), &width, &height,
                          &subsampling, &colorspace) != 0) {
    width = height = 0;
    return false;
  }
  return true;
}

// Decodes to RGB. On failure returns false with error set and the outputs cleared.
bool DecodeJPEG(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& rgb, int& width, int& height,
                std::string& error) {
  rgb.clear();
  width = height = 0;
  if (data.empty()) {
    error = "the image is empty";
    return false;
  }
  TurboJPEGHandle handle(tjInitDecompress());
  if (!handle) {
    error = tjGetErrorStr2(nullptr);
    return false;
  }
  int w = 0, h = 0, subsampling = 0, colorspace = 0;
  const auto size = static_cast<unsigned long>(data.size());
  if (tjDecompressHeader3(handle.get(), data.data(), size, &w, &h, &subsampling, &colorspace) != 0) {
    error = LastError(handle.get());
    return false;
  }
  // Checked before any allocation: the header's size is whatever the file says.
  if (!PixelSizeAcceptable(w, h)) {
    error = SizeText(w, h);
    return false;
  }
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
  // Scan limit: a progressive stream with thousands of scans is a known way to burn CPU.
  if (tjDecompress2(handle.get(), data.data(), size, pixels.data(), w, 0, h, TJPF_RGB, TJFLAG_LIMITSCANS) != 0 &&
      tjGetErrorCode(handle.get()) != TJERR_WARNING) {
    // Warnings (a truncated or slightly damaged scan) still leave a usable picture; errors do not.
    error = LastError(handle.get());
    return false;
  }
  rgb = std::move(pixels);
  width = w;
  height = h;
  return true;
}

std::vector<std::uint8_t> EncodeJPEG(const std::uint8_t* rgb, int width, int height, int quality) {
  TurboJPEGHandle handle(tjInitCompress());
  if (!handle) RaiseJPEGError(tjGetErrorStr2(nullptr));
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const int result = tjCompress2(handle.get(), rgb, width, 0, height, TJPF_RGB, &buffer, &size, TJSAMP_420, quality,
                                 TJFLAG_ACCURATEDCT);
  std::unique_ptr<unsigned char, TurboJPEGFree> owned(buffer);
  if (result != 0) RaiseJPEGError(LastError(handle.get()));
  return std::vector<std::uint8_t>(buffer, buffer + size);
}

int ClampQuality(int quality) { return std::clamp(quality, 1, 100); }

}  // namespace Detail

TJPEGImage::TJPEGImage(const TJPEGImage& source) { TakeContent(source); }

TJPEGImage::TJPEGImage(TJPEGImage&& source) noexcept
    : FData(std::move(source.FData)),
      FPixels(std::move(source.FPixels)),
      FPixelWidth(source.FPixelWidth),
      FPixelHeight(source.FPixelHeight),
      FQuality(source.FQuality),
      FModified(source.FModified),
      FHeaderRead(source.FHeaderRead),
      FWidth(source.FWidth),
      FHeight(source.FHeight) {}

TJPEGImage& TJPEGImage::operator=(const TJPEGImage& source) {
  Assign(source);
  return *this;
}

TJPEGImage& TJPEGImage::operator=(TJPEGImage&& source) {
  if (this == &source) return *this;
  FData = std::move(source.FData);
  FPixels = std::move(source.FPixels);
  FPixelWidth = source.FPixelWidth;
  FPixelHeight = source.FPixelHeight;
  FQuality = source.FQuality;
  Changed();
  return *this;
}

void TJPEGImage::TakeContent(const TJPEGImage& source) {
  FData = source.FData;
  FPixels = source.FPixels;
  FPixelWidth = source.FPixelWidth;
  FPixelHeight = source.FPixelHeight;
  FQuality = source.FQuality;
  FHeaderRead = source.FHeaderRead;
  FWidth = source.FWidth;
  FHeight = source.FHeight;
}

void TJPEGImage::Changed() {
  FHeaderRead = false;
  FModified = true;
  if (FOnChange) FOnChange();
}

void TJPEGImage::LoadFromBytes(const std::uint8_t* data, std::size_t size) {
  if (size > 0)
    FData.assign(data, data + size);
  else
    FData.clear();
  FPixels.clear();
  FPixelWidth = FPixelHeight = 0;
  Changed();
}

void TJPEGImage::LoadFromStream(TStream& stream, std::int64_t count) {
  const std::int64_t available = std::max<std::int64_t>(stream.Size() - stream.Position(), 0);
  if (count < 0) count = available;
  // Checked before allocating: the count may come from the file.
  if (count > available) throw EReadError(SReadError);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
  if (count > 0) stream.ReadBuffer(bytes.data(), count);
  FData = std::move(bytes);
  FPixels.clear();
  FPixelWidth = FPixelHeight = 0;
  Changed();
}

void TJPEGImage::AssignRGB(const std::uint8_t* rgb, int width, int height) {
  if (!Detail::PixelSizeAcceptable(width, height)) Detail::RaiseJPEGError(Detail::SizeText(width, height));
  std::vector<std::uint8_t> pixels(rgb, rgb + static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  FData = Detail::EncodeJPEG(pixels.data(), width, height, FQuality);
  FPixels = std::move(pixels);
  FPixelWidth = width;
  FPixelHeight = height;
  Changed();
}

void TJPEGImage::SaveToStream(TStream& stream) const {
  if (!FData.empty()) stream.WriteBuffer(FData.data(), static_cast<std::int64_t>(FData.size()));
}

void TJPEGImage::ReadHeader() const {
  if (FHeaderRead) return;
  FHeaderRead = true;
  if (!FPixels.empty()) {
    FWidth = FPixelWidth;
    FHeight = FPixelHeight;
  } else {
    Detail::ReadJPEGHeader(FData, FWidth, FHeight);
  }
}

int TJPEGImage::Width() const {
  ReadHeader();
  return FWidth;
}

int TJPEGImage::Height() const {
  ReadHeader();
  return FHeight;
}

void TJPEGImage::SetCompressionQuality(int quality) {
  quality = Detail::ClampQuality(quality);
  if (quality == FQuality) return;
  FQuality = quality;
  if (FPixels.empty()) return;
  FData = Detail::EncodeJPEG(FPixels.data(), FPixelWidth, FPixelHeight, FQuality);
  Changed();
}

std::vector<std::uint8_t> TJPEGImage::Encoded(int quality) const {
  if (FData.empty()) return {};
  quality = Detail::ClampQuality(quality);
  if (!FPixels.empty()) return Detail::EncodeJPEG(FPixels.data(), FPixelWidth, FPixelHeight, quality);
  std::vector<std::uint8_t> rgb;
  int width = 0, height = 0;
  std::string error;
  if (!Detail::DecodeJPEG(FData, rgb, width, height, error)) Detail::RaiseJPEGError(error);
  return Detail::EncodeJPEG(rgb.data(), width, height, quality);
}

bool TJPEGImage::DecodeRGB(std::vector<std::uint8_t>& rgb, int& width, int& height) const {
  if (!FPixels.empty()) {
    rgb = FPixels;
    width = FPixelWidth;
    height = FPixelHeight;
    return true;
  }
  std::string error;
  return Detail::DecodeJPEG(FData, rgb, width, height, error);
}

TJPEGImage TJPEGImage::StretchedTo(int width, int height) const {
  TJPEGImage result;
  result.FQuality = FQuality;
  if (FData.empty() || width <= 0 || height <= 0) return result;
  if (!Detail::PixelSizeAcceptable(width, height)) Detail::RaiseJPEGError(Detail::SizeText(width, height));

  std::vector<std::uint8_t> source;
  int sourceWidth = 0, sourceHeight = 0;
  if (!FPixels.empty()) {
    source = FPixels;
    sourceWidth = FPixelWidth;
    sourceHeight = FPixelHeight;
  } else {
    std::string error;
    if (!Detail::DecodeJPEG(FData, source, sourceWidth, sourceHeight, error)) Detail::RaiseJPEGError(error);
  }

  // Resampled in linear light with the library's default filters (Mitchell down, Catmull-Rom up).
  std::vector<std::uint8_t> target(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  if (!stbir_resize_uint8_srgb(source.data(), sourceWidth, sourceHeight, 0, target.data(), width, height, 0, 3,
                               STBIR_ALPHA_CHANNEL_NONE, 0))
    Detail::RaiseJPEGError("the image could not be resampled");
  result.AssignRGB(target.data(), width, height);
  result.FModified = false;
  return result;
}

void TJPEGImage::ResizeTo(int width, int height) { Assign(StretchedTo(width, height)); }

void TJPEGImage::Assign(const TJPEGImage& source) {
  if (this == &source) return;
  TakeContent(source);
  Changed();
}

void TJPEGImage::Clear() {
  FData.clear();
  FPixels.clear();
  FPixelWidth = FPixelHeight = 0;
  Changed();
}

}  // namespace Zorp::Base
