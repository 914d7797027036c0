#include "failuretext.h"

namespace FailureText {

QString connectFailed(QAbstractSocket::SocketError error, const QString &host, const QString &detail)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("Sunucu (%1) bağlantıyı kabul etmedi: başlatılmamış olabilir.").arg(host);
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("Sunucu adresi bulunamadı: %1").arg(host);
    case QAbstractSocket::NetworkError:
        return QStringLiteral("%1 adresine ulaşılamıyor (ağ hatası: %2).").arg(host, detail);
    default:
        return QStringLiteral("%1 ile bağlantı kurulamadı: %2").arg(host, detail);
    }
}

QString noAnswer(const QString &host, int seconds)
{
    return QStringLiteral("Sunucu (%1) %2 saniye içinde yanıt vermedi.").arg(host).arg(seconds);
}

QString connectionBroke(const QString &detail)
{
    return QStringLiteral("Sunucuyla bağlantı koptu: %1").arg(detail);
}

QString serverClosed(bool stopNoticed)
{
    return stopNoticed ? QStringLiteral("Sunucu durduruldu.") : QStringLiteral("Sunucu bağlantıyı kapattı.");
}

} // namespace FailureText
