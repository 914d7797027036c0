#pragma once

#include <QByteArray>
#include <QString>

// Text on the wire is bytes. What the server writes itself is UTF-8; what a
// client sent is passed on as the very bytes it sent and only decoded to be
// shown. Bytes that are not valid UTF-8 come from clients on an older 8-bit
// code page; in a Turkish lab that is Windows-1254, so they are shown as such.
namespace WireText {

QByteArray encode(const QString &text);
QString decodeForDisplay(const QByteArray &bytes);
bool isValidUtf8(const QByteArray &bytes);
QString decodeWindows1254(const QByteArray &bytes);

} // namespace WireText
