#pragma once
// The font of the main window and of the InputSelect dialog: Tahoma 13 pixels high where it is
// installed, else the desktop's sans-serif font at that pixel size.

#include <QFont>

namespace Quorvane::Viewer {

QFont FormFont();

}  // namespace Quorvane::Viewer
