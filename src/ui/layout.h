// Placing controls: the window's sizes are given in twips.
#pragma once

#include <QFont>
#include <QRect>

namespace dialsift::ui {

// Pixels from twips (15 twips per pixel).
constexpr int Twips(int twips) {
  return (twips * 2 + 15) / 30;
}

inline QRect TwipRect(int left, int top, int width, int height) {
  return {Twips(left), Twips(top), Twips(width), Twips(height)};
}

// Arial, bold, at `points`.
inline QFont ArialBold(qreal points) {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(true);
  return font;
}

}  // namespace dialsift::ui
