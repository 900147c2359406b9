#include "core/PreviewTurn.h"

namespace Quorvane::Viewer {

TPreviewTurn PreviewTurn(int orientation) {
  switch (orientation) {
    case 2:  // top-right: mirrored
      return {0, true};
    case 3:  // bottom-right: upside down
      return {180, false};
    case 4:  // bottom-left: mirrored top to bottom
      return {180, true};
    case 5:  // left-top: transposed
      return {270, true};
    case 6:  // right-top: turned a quarter clockwise to stand upright
      return {90, false};
    case 7:  // right-bottom: transversed
      return {90, true};
    case 8:  // left-bottom: turned a quarter anticlockwise to stand upright
      return {270, false};
    default:
      return {};
  }
}

}  // namespace Quorvane::Viewer
