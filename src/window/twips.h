// Window layout in twips, the physical unit the layout is drawn in: 1440 to the inch.
#pragma once

#include <QRect>
#include <QtMath>

namespace window {

struct TwipRect {
  int left;
  int top;
  int width;
  int height;
};

// Pixels for the screen's logical DPI: 15 twips a pixel at 96 DPI.
inline int TwipsToPixels(int twips, qreal logical_dpi) {
  return qRound(twips * logical_dpi / 1440.0);
}

inline QRect TwipsToPixels(const TwipRect& twips, qreal logical_dpi) {
  return QRect(TwipsToPixels(twips.left, logical_dpi), TwipsToPixels(twips.top, logical_dpi),
               TwipsToPixels(twips.width, logical_dpi), TwipsToPixels(twips.height, logical_dpi));
}

}  // namespace window
