#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <memory>
#include <vector>

// The fuzz input read as a program. Each operation is one opcode byte (taken
// modulo the number of kinds) and the argument bytes of its kind:
//
//   Connect        a          channel a&3; the accept fails when a&4
//   Arrive         a k n b..  client k of channel a&3 sends n bytes, event raised
//   ArriveQuietly  a k n b..  the same bytes, their event still on its way
//   Drop           a k        client k of channel a&3 goes away
//   Close          a k        the server closes element k of channel a&3
//   Fail           a k        (a>>2)&3: 0 send fails, 1 read fails, 2 both, 3 healed
//   OperatorSend   n b..      the operator sends the line b (UTF-8) with Command1
//   SetNickname    n b..      Txtnick becomes b
//   TidyTick, RemovalTick, Counter, AddOperator (server start's entry),
//   ClearRoster (server stop's), SocketError   no arguments
//   HandOver       a ...      a&1: the first (a>>1) bytes of roster entry k's
//                             text, k following; else n b.. as the nickname
//   Select         k          the operator clicks row k-1 (k = 0 clears)
//   Schedule       d op       runs op at the d-th yield from now, nested in
//                             whatever handler yields then
//
// k picks an element (1 up to the highest index, modulo) or a roster row
// when the operation runs. A missing byte reads as 0; the program ends where
// the input does. Bounded so that one input runs in milliseconds.
namespace FuzzProgram {

inline constexpr int MaxOperations = 96;
inline constexpr int MaxText = 32;
inline constexpr int MaxScheduleDepth = 4;
inline constexpr int MaxDelay = 48;

enum class Kind : quint8 {
    Connect,
    Arrive,
    ArriveQuietly,
    Drop,
    Close,
    Fail,
    OperatorSend,
    SetNickname,
    TidyTick,
    RemovalTick,
    Counter,
    AddOperator,
    ClearRoster,
    SocketError,
    HandOver,
    Select,
    Schedule,
    KindCount
};

struct Operation
{
    Kind kind = Kind::TidyTick;
    quint8 arg = 0;
    quint8 pick = 0;
    QByteArray text;
    int delay = 0;
    std::shared_ptr<const Operation> inner;
};

class Reader
{
public:
    Reader(const quint8 *data, size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_pos >= m_size; }
    quint8 byte() { return atEnd() ? 0 : m_data[m_pos++]; }
    QByteArray text();

private:
    const quint8 *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// The whole program, at most MaxOperations operations counting scheduled ones.
std::vector<Operation> parse(const quint8 *data, size_t size);

} // namespace FuzzProgram
