#include "socketfailure.h"

#include "channels.h"

#include <cerrno>

namespace {

struct Known
{
    QAbstractSocket::SocketError error;
    int number;
    const char *description;
};

// Numbers follow the Windows socket error codes operators meet in other tools.
constexpr Known KnownErrors[] = {
    {QAbstractSocket::AddressInUseError, FailureNumber::AddressInUse, "Adres kullanımda"},
    {QAbstractSocket::SocketAccessError, 10013, "Erişim izni yok"},
    {QAbstractSocket::ConnectionRefusedError, 10061, "Bağlantı reddedildi"},
    {QAbstractSocket::RemoteHostClosedError, 10058, "Karşı taraf bağlantıyı kapattı"},
    {QAbstractSocket::HostNotFoundError, 11001, "Bilgisayar bulunamadı"},
    {QAbstractSocket::SocketResourceError, 10024, "Yeterli kaynak yok"},
    {QAbstractSocket::SocketTimeoutError, 10060, "Zaman aşımı"},
    {QAbstractSocket::NetworkError, FailureNumber::ConnectionReset, "Bağlantı koptu"},
    {QAbstractSocket::SocketAddressNotAvailableError, 10049, "Adres kullanılamıyor"},
    {QAbstractSocket::UnsupportedSocketOperationError, 10045, "Desteklenmeyen işlem"},
};

// A port as the operator knows it: "4201 numaralı port (kullanıcı listesi)",
// the word sohbet-tani and the manuals use. As the object of a verb the noun
// takes its accusative ending, "portu".
QString portName(quint16 port, bool object)
{
    QString channel;
    switch (port) {
    case ChannelPort::Message:
        channel = QStringLiteral("sohbet");
        break;
    case ChannelPort::Roster:
        channel = QStringLiteral("kullanıcı listesi");
        break;
    case ChannelPort::Join:
        channel = QStringLiteral("katılım");
        break;
    case ChannelPort::Leave:
        channel = QStringLiteral("ayrılış");
        break;
    default:
        break;
    }
    QString name = QString::number(port)
            + (object ? QStringLiteral(" numaralı portu") : QStringLiteral(" numaralı port"));
    if (!channel.isEmpty())
        name += QStringLiteral(" (") + channel + u')';
    return name;
}

} // namespace

Failure socketFailure(QAbstractSocket::SocketError error)
{
    for (const Known &known : KnownErrors) {
        if (known.error == error)
            return {known.number, QString::fromUtf8(known.description)};
    }
    return {FailureNumber::SocketError + int(error), QStringLiteral("Ağ hatası")};
}

Failure listenFailure(QAbstractSocket::SocketError error, quint16 port)
{
    Failure failure = socketFailure(error);
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        failure.description += u": " + portName(port, true) + u" başka bir program tutuyor";
        break;
    case QAbstractSocket::SocketAccessError:
        failure.description += u": " + portName(port, false) + u" için";
        break;
    default:
        failure.description += u": " + portName(port, false) + u" açılamadı";
        break;
    }
    return failure;
}

Failure socketFailureFromErrno(int error)
{
    QAbstractSocket::SocketError kind = QAbstractSocket::NetworkError;
    switch (error) {
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
        kind = QAbstractSocket::SocketResourceError;
        break;
    case ETIMEDOUT:
        kind = QAbstractSocket::SocketTimeoutError;
        break;
    case ECONNREFUSED:
        kind = QAbstractSocket::ConnectionRefusedError;
        break;
    case EACCES:
    case EPERM:
        kind = QAbstractSocket::SocketAccessError;
        break;
    case EBADF:
    case ENOTSOCK:
    case EOPNOTSUPP:
    case EINVAL:
        kind = QAbstractSocket::UnsupportedSocketOperationError;
        break;
    default:
        break;
    }
    return socketFailure(kind);
}
