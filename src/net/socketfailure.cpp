#include "socketfailure.h"

#include <cerrno>
#include <cstring>

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

} // namespace

Failure socketFailure(QAbstractSocket::SocketError error, const QString &detail)
{
    for (const Known &known : KnownErrors) {
        if (known.error == error)
            return {known.number, QString::fromUtf8(known.description) + QStringLiteral(" (")
                                      + detail + QLatin1Char(')')};
    }
    return {FailureNumber::SocketError + int(error), detail};
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
    return socketFailure(kind, QString::fromLocal8Bit(std::strerror(error)));
}
