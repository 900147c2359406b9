// Uses the installed library: "consumer PHOTO" prints the photo's camera make; "consumer" writes a
// small JPEG with a make of its own in memory, reads it back and prints that make.
#include <cstdint>
#include <exception>
#include <iostream>
#include <vector>

#include "zorp/base/JPEGImage.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"

int main(int argc, char** argv) {
  try {
    Zorp::Exif::TExifData data;
    if (argc > 1) {
      data.LoadFromJPEG(std::string(argv[1]));
      std::cout << data.CameraMake() << '\n';
      return 0;
    }
    const std::vector<std::uint8_t> gray(8 * 8 * 3, 128);
    Zorp::Base::TJPEGImage image;
    image.AssignRGB(gray.data(), 8, 8);
    Zorp::Base::TMemoryStream input, output;
    image.SaveToStream(input);
    input.SetPosition(0);
    data.SetCameraMake("Consumer");
    data.SaveToJPEG(input, output);
    output.SetPosition(0);
    Zorp::Exif::TExifData reread;
    reread.LoadFromJPEG(output);
    std::cout << reread.CameraMake() << '\n';
    return 0;
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
}
