#pragma once

#include <QString>

// What the server itself writes on the message channel, in the form of a chat
// line; clients recognise it by these texts.
namespace ServerNotice {

// The name in front of the server's own lines; it names nobody in the chat.
inline const QString Sender = QStringLiteral("SUNUCU MESAJI");
// Sent to every client just before the server closes all connections.
inline const QString Stopping = QStringLiteral("<SUNUCU MESAJI> Sunucu bağlantısı kesiliyor.");

} // namespace ServerNotice
