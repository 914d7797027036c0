#pragma once

#include <QString>

#include <optional>

// A failed operation, as the operator sees it reported: "number: description".
struct Failure
{
    int number = 0;
    QString description;

    QString report() const { return QString::number(number) + QStringLiteral(": ") + description; }
    bool operator==(const Failure &) const = default;
};

// The result of a step that may fail: empty when it succeeded. Callers decide
// whether a failure ends their own work, so it is a value, never an exception.
using Outcome = std::optional<Failure>;

// Error numbers the endpoints report. The values follow the socket numbers an
// operator may know from other tools; descriptions come from the socket layer.
namespace FailureNumber {
inline constexpr int NotConnected = 10057;
inline constexpr int AddressInUse = 10048;
inline constexpr int ConnectionReset = 10054;
inline constexpr int InvalidIndex = 340;
inline constexpr int CapacityReached = 7;
inline constexpr int SocketError = 10000;
} // namespace FailureNumber
