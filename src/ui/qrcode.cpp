#include "ui/qrcode.h"

#include "platform/logging.h"

#include <qrencode.h>

#include <memory>

namespace tavirin {

QImage qrCodeImage(const QString& text, int scale) {
    const QByteArray utf8 = text.toUtf8();
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(utf8.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code) {
        qCWarning(lcUi) << "no QR code could be made of" << text.left(80);
        return {};
    }
    constexpr int kQuiet = 4;
    const int modules = code->width;
    const int side = (modules + 2 * kQuiet) * scale;
    QImage image(side, side, QImage::Format_Mono);
    image.fill(0);  // colour 0: white
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    for (int y = 0; y < modules; ++y)
        for (int x = 0; x < modules; ++x) {
            if (!(code->data[y * modules + x] & 1)) continue;
            for (int dy = 0; dy < scale; ++dy)
                for (int dx = 0; dx < scale; ++dx)
                    image.setPixel((x + kQuiet) * scale + dx, (y + kQuiet) * scale + dy, 1);
        }
    return image;
}

}  // namespace tavirin
