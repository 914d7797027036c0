#include "qrtext.h"

#include <qrencode.h>

#include <memory>

QString QrText::draw(const QByteArray &text)
{
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.constData(), 0, QR_ECLEVEL_L, QR_MODE_8, 1), &QRcode_free);
    if (!code)
        return {};
    const int width = code->width;
    const auto dark = [&](int x, int y) {
        x -= Margin;
        y -= Margin;
        return x >= 0 && y >= 0 && x < width && y < width && (code->data[y * width + x] & 1);
    };
    const int size = width + 2 * Margin;
    QString drawn;
    for (int y = 0; y < size; y += 2) {
        for (int x = 0; x < size; ++x) {
            const bool top = dark(x, y);
            const bool bottom = dark(x, y + 1);
            drawn += top ? (bottom ? u'█' : u'▀') : (bottom ? u'▄' : u' ');
        }
        drawn += u'\n';
    }
    return drawn;
}
