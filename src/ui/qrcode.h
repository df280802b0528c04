#pragma once

#include <QImage>
#include <QString>

namespace tavirin {

// The text as a QR code (libqrencode, error correction M), `scale` pixels a module, with the
// quiet zone of four modules the standard asks for. A null image when it cannot be made.
QImage qrCodeImage(const QString& text, int scale = 6);

}  // namespace tavirin
