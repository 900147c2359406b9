#pragma once
// The viewer core's plain values as Qt's: UTF-8 text, rectangles and colours.

#include <QColor>
#include <QRect>
#include <QString>
#include <string>

#include "core/RowDrawing.h"

namespace Quorvane::Viewer {

inline QString ToQt(const std::string& text) { return QString::fromStdString(text); }
inline QRect ToQRect(const TRect& rect) { return QRect(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top); }
inline QColor ToQColor(const TRGBColor& color) { return QColor(color.Red, color.Green, color.Blue); }

}  // namespace Quorvane::Viewer
