#pragma once
// How a thumbnail is turned for display, as the photo's Orientation tag (1..8) says.

namespace Quorvane::Viewer {

// Mirrored left to right first (when Mirrored), then rotated clockwise by Degrees (0, 90, 180, 270).
struct TPreviewTurn {
  int Degrees = 0;
  bool Mirrored = false;
  bool operator==(const TPreviewTurn&) const = default;
};

// The turn for an Orientation value; a missing (0) or unknown value leaves the image as it is.
TPreviewTurn PreviewTurn(int orientation);

}  // namespace Quorvane::Viewer
