#pragma once
#include <QString>
#include <optional>

#include "platform/widgets/Color.h"

class QLocale;
class QImage;
class QPalette;

namespace kx {

// Number text of the float edit: shown in the user's locale, read in one
// fixed notation so that a stored or typed value means the same everywhere.

/// Decimals digits after the locale's decimal separator; grouped with the
/// locale's thousands separator when thousands is set.
QString FormatFloat(double value, int decimals, bool thousands, const QLocale& locale);

/// The whole text as a number: leading blanks, an optional sign, digits with
/// a point as decimal separator, an optional exponent. Anything else (a comma,
/// a group separator, trailing text, an empty text, a value out of double
/// range) gives nothing.
std::optional<double> ParseFloatText(const QString& text);

/// Step of the up/down button: the set step, else 1 with Ctrl, else one unit
/// of the last shown digit.
double ButtonStep(double stepValue, bool ctrl, int decimals);

/// value + delta as the decimal sum of the two numbers as written (0.2 + 0.1
/// is 0.3, not 0.30000000000000004), so that stepping reaches a bound exactly.
/// The result never moves against the sign of delta, and a nonzero delta too
/// small for the value's precision still moves it to the next double.
double AddStep(double value, double delta);

/// The lower-right triangle of a square button of the given width is the down
/// button; the diagonal itself belongs to the up button.
inline bool InDownHalf(int x, int y, int width) { return x + y > width; }

/// Draws the square up/down button over the whole image (image height is the
/// size). System colours resolve through the palette.
void DrawUpDownButton(QImage& image, bool downHalf, bool pressed, bool enabled, TColor buttonColor,
                      const QPalette& palette);

/// Arrow colour of a disabled button.
constexpr TColor kDisabledArrowColor = 10789024;

} // namespace kx
