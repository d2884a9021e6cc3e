#pragma once
// The QR image of the reception window read back module by module, and
// libqrencode's own matrix of a text to compare it with.
#include <qrencode.h>

#include <QImage>
#include <string>

#include "reception/QrCode.h"

namespace reception_test {

// The modules of the QR image's matrix as its pixels show them (the centre
// of each module), after checking the quiet zone is white.
inline evt::reception::QrMatrix ReadBack(const QImage& image, int width) {
    evt::reception::QrMatrix read;
    const int side = width + 2 * evt::reception::kQuietZone;
    if (image.isNull() || image.width() != image.height() || image.width() % side != 0) return read;
    const int scale = image.width() / side;
    auto dark = [&](int mx, int my) {
        return qGray(image.pixel(mx * scale + scale / 2, my * scale + scale / 2)) < 128;
    };
    for (int m = 0; m < side; ++m)
        for (int q = 0; q < evt::reception::kQuietZone; ++q)
            if (dark(m, q) || dark(q, m) || dark(m, side - 1 - q) || dark(side - 1 - q, m))
                return read;
    read.width = width;
    for (int y = 0; y < width; ++y)
        for (int x = 0; x < width; ++x)
            read.dark.push_back(
                dark(x + evt::reception::kQuietZone, y + evt::reception::kQuietZone));
    return read;
}

// libqrencode's own matrix of a text, as the window asks it.
inline evt::reception::QrMatrix Reference(const std::string& text) {
    QRcode* code = QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M);
    evt::reception::QrMatrix m;
    if (!code) return m;
    m.width = code->width;
    for (int i = 0; i < code->width * code->width; ++i) m.dark.push_back(code->data[i] & 1);
    QRcode_free(code);
    return m;
}

}  // namespace reception_test
