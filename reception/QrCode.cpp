#include "reception/QrCode.h"

#include <qrencode.h>

#include <cerrno>
#include <memory>

#include "corvana/data/Error.h"

namespace evt::reception {

QrMatrix QrEncode(const std::string& text) {
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code) {
        if (errno == ERANGE)
            throw corvana::Error("Texto longo demais para um código QR (" +
                                 std::to_string(text.size()) + " bytes).");
        throw corvana::Error("Não foi possível gerar o código QR.");
    }
    QrMatrix matrix;
    matrix.width = code->width;
    const std::size_t cells = static_cast<std::size_t>(code->width) * code->width;
    matrix.dark.resize(cells);
    // libqrencode's byte per module: bit 0 is the module's colour.
    for (std::size_t i = 0; i < cells; ++i) matrix.dark[i] = (code->data[i] & 1) != 0;
    return matrix;
}

QImage QrImage(const QrMatrix& matrix, int scale) {
    const int side = (matrix.width + 2 * kQuietZone) * scale;
    QImage image(side, side, QImage::Format_Mono);
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    image.fill(0);
    for (int y = 0; y < matrix.width; ++y)
        for (int x = 0; x < matrix.width; ++x) {
            if (!matrix.At(x, y)) continue;
            const int left = (kQuietZone + x) * scale, top = (kQuietZone + y) * scale;
            for (int dy = 0; dy < scale; ++dy)
                for (int dx = 0; dx < scale; ++dx) image.setPixel(left + dx, top + dy, 1);
        }
    return image;
}

}  // namespace evt::reception
