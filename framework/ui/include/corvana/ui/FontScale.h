#pragma once
#include <QSize>

class QFont;

// Sizes that screens give in pixels (column widths, a window's designed
// size) are those of the platform the screens were designed on: 96 dpi and
// an 8-point font averaging 6 px a character. This font is usually wider;
// scaling such a size by the ratio of the running font's average character
// width to the original's keeps what fit there fitting here.
namespace corvana::ui {

// The ratio for `font`, never below 1 (a narrower font keeps the sizes).
double FontScale(const QFont& font);
// A width or height in original pixels, in pixels of `font`.
int Scaled(int pixels, const QFont& font);
QSize Scaled(const QSize& size, const QFont& font);

}  // namespace corvana::ui
