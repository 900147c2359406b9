// Benchmarks of the viewer's controller: selecting a typical camera photo until its rows are built
// and its thumbnail decoded, and opening a folder of 10,000 photos into the photo list.
// Run: build/bin/ViewerBench (a release build).

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "core/ExifFormController.h"
#include "zorp/base/JPEGImage.h"

namespace {

using namespace Quorvane::Viewer;
namespace fs = std::filesystem;

const fs::path Photos = QUORVANE_PHOTOS_DIR;
const fs::path Descriptions = fs::path(QUORVANE_SOURCE_DIR) / "viewer" / "MakerNotes.ini";

// No dialogs are opened here.
class TNoDialogs final : public TLocalFileSystem {
 public:
  bool PickFolder(const std::string&, std::string&) override { return false; }
  bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
  bool InputSelect(const std::string&, const std::string&, std::string&, const std::string&) override { return false; }
  TDialogAnswer AskYesNoCancel(const std::string&) override { return TDialogAnswer::Cancel; }
  void ShowError(const std::string&) override {}
  bool SaveDialog(std::string&) override { return false; }
  void SetClipboardText(const std::string&) override {}
  void OpenURL(const std::string&) override {}
};

// Loading, both lists and the thumbnail's pixels, as a click on a photo in the list does.
void BM_SelectTypicalPhoto(benchmark::State& state) {
  const fs::path photo = Photos / "dcc_canon_eos-5d-mark-iii_EOS5D-MIII__K6A7944.jpg";
  if (!fs::exists(photo)) {
    state.SkipWithError("sample photos not found");
    return;
  }
  TNoDialogs services;
  TExifFormController controller(services);
  controller.FormCreate(Descriptions);
  for (auto _ : state) {
    controller.LoadPhoto(photo.string());
    Zorp::Base::TJPEGImage thumbnail;
    thumbnail.LoadFromBytes(controller.PreviewJPEG().data(), controller.PreviewJPEG().size());
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
    thumbnail.DecodeRGB(rgb, width, height);
    benchmark::DoNotOptimize(rgb.data());
  }
}
BENCHMARK(BM_SelectTypicalPhoto)->Unit(benchmark::kMillisecond);

// A folder of 10,000 photos (empty files, so the first selection costs almost nothing): listing
// and sorting the names.
void BM_OpenFolderOf10000Photos(benchmark::State& state) {
  const fs::path folder = fs::temp_directory_path() / "quorvane-bench-folder";
  fs::create_directories(folder);
  for (int i = 0; i < 10000; ++i) std::ofstream(folder / ("IMG_" + std::to_string(100000 + i) + ".JPG"));
  TNoDialogs services;
  TExifFormController controller(services);
  controller.FormCreate(Descriptions);
  for (auto _ : state) {
    controller.OpenFolder(folder.string());
    benchmark::DoNotOptimize(controller.PhotoNames().size());
  }
  fs::remove_all(folder);
}
BENCHMARK(BM_OpenFolderOf10000Photos)->Unit(benchmark::kMillisecond);

}  // namespace
