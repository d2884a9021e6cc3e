#pragma once
#include <QImage>
#include <string>
#include <vector>

// The QR code of a text, encoded by libqrencode (8-bit mode, error
// correction level M, the smallest version that holds the text), and its
// picture for the screen.
namespace evt::reception {

struct QrMatrix {
    int width = 0;           // modules on each side
    std::vector<bool> dark;  // width × width, row by row
    bool At(int x, int y) const { return dark[static_cast<std::size_t>(y * width + x)]; }
};

// Raises corvana::Error (in Portuguese) when the text cannot be encoded (too
// long for a QR code, or libqrencode out of memory).
QrMatrix QrEncode(const std::string& text);

// The matrix drawn black on white, `scale` pixels a module, with the quiet
// zone of 4 modules the standard asks for around it.
inline constexpr int kQuietZone = 4;
QImage QrImage(const QrMatrix& matrix, int scale);

}  // namespace evt::reception
