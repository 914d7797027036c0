#include "websocketframes.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <algorithm>
#include <utility>

// A frame on the wire:
//   byte 0   FIN (0x80), RSV1-3 (0x70, unused here), opcode (0x0F)
//   byte 1   MASK (0x80), length (0x7F): 0-125 itself, 126 a 16-bit length follows, 127 a 64-bit one
//   then     the length in network order, the 4-byte mask key if MASK, the payload
// A browser masks every byte it sends (payload[i] ^ key[i % 4]); the server masks nothing.
// A message is one text frame with FIN, or a text frame without FIN, continuation frames and a last one
// with FIN. Control frames (opcode 0x8 and up) are final, carry at most 125 bytes and may come between the
// fragments of a message.

namespace {

enum Opcode : quint8 {
    Continuation = 0x0,
    TextFrame = 0x1,
    BinaryFrame = 0x2,
    CloseFrame = 0x8,
    PingFrame = 0x9,
    PongFrame = 0xA,
};
constexpr quint8 ControlBit = 0x8;

constexpr quint8 FinBit = 0x80;
constexpr quint8 RsvBits = 0x70;
constexpr quint8 OpcodeBits = 0x0F;
constexpr quint8 MaskBit = 0x80;
constexpr quint8 LengthBits = 0x7F;
constexpr quint8 Length16 = 126;
constexpr quint8 Length64 = 127;
constexpr qsizetype MaskSize = 4;
constexpr qsizetype MaxServerHeader = 2 + 8;
constexpr qsizetype MaxControlPayload = 125;
constexpr qsizetype CodeSize = 2;

using enum WebSocketFrames::CloseCode;

const QByteArray AcceptGuid = QByteArrayLiteral("258EAFA5-E914-47DA-95CA-C5AB0DC85B11");

bool known(quint8 opcode)
{
    return opcode <= BinaryFrame || (opcode >= CloseFrame && opcode <= PongFrame);
}

// UTF-8 as RFC 3629 has it: shortest forms only, no surrogates, nothing above U+10FFFF.
bool validUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const auto *const end = p + bytes.size();
    while (p < end) {
        const uchar lead = *p++;
        if (lead < 0x80)
            continue;
        int more = 0;
        char32_t letter = 0;
        char32_t shortest = 0;
        if ((lead & 0xE0) == 0xC0) {
            more = 1, letter = lead & 0x1F, shortest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            more = 2, letter = lead & 0x0F, shortest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            more = 3, letter = lead & 0x07, shortest = 0x10000;
        } else {
            return false;
        }
        if (end - p < more)
            return false;
        for (; more > 0; --more, ++p) {
            if ((*p & 0xC0) != 0x80)
                return false;
            letter = (letter << 6) | (*p & 0x3F);
        }
        if (letter < shortest || letter > 0x10FFFF || (letter >= 0xD800 && letter <= 0xDFFF))
            return false;
    }
    return true;
}

template<typename T>
void appendBigEndian(QByteArray &out, T value)
{
    char bytes[sizeof(T)];
    qToBigEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

QByteArray serverFrame(Opcode opcode, const QByteArray &payload)
{
    const qsizetype size = payload.size();
    QByteArray out;
    out.reserve(MaxServerHeader + size);
    out += char(FinBit | opcode);
    if (size < Length16) {
        out += char(size);
    } else if (size <= 0xFFFF) {
        out += char(Length16);
        appendBigEndian(out, quint16(size));
    } else {
        out += char(Length64);
        appendBigEndian(out, quint64(size));
    }
    out += payload;
    return out;
}

} // namespace

namespace WebSocketFrames {

QByteArray acceptKey(const QByteArray &clientKey)
{
    return QCryptographicHash::hash(QByteArray(clientKey + AcceptGuid), QCryptographicHash::Sha1).toBase64();
}

QByteArray text(const QByteArray &utf8)
{
    return serverFrame(TextFrame, utf8);
}

QByteArray pong(const QByteArray &payload)
{
    return serverFrame(PongFrame, payload.left(MaxControlPayload));
}

QByteArray close(quint16 code, const QByteArray &reason)
{
    qsizetype cut = std::min(reason.size(), MaxControlPayload - CodeSize);
    if (cut < reason.size()) {
        // Back to the first byte of the letter the cut would split.
        while (cut > 0 && (uchar(reason[cut]) & 0xC0) == 0x80)
            --cut;
    }
    QByteArray payload;
    appendBigEndian(payload, code);
    payload += reason.left(cut);
    return serverFrame(CloseFrame, payload);
}

} // namespace WebSocketFrames

FrameReader::FrameReader(qint64 maxMessageBytes) : m_max(maxMessageBytes) {}

void FrameReader::feed(const char *data, qsizetype size)
{
    if (m_failCode == 0 && !m_closed)
        m_input.append(data, size);
}

FrameReader::Event FrameReader::next()
{
    if (m_failCode != 0)
        return {Kind::Fail, {}, m_failCode};
    Event event;
    while (event.kind == Kind::None && !m_closed && (m_payloadLeft > 0 ? readPayload(event) : readFrame(event))) {
    }
    release(event);
    return event;
}

qsizetype FrameReader::held() const
{
    return m_input.size() - m_read + m_message.size();
}

// Reads one frame's header, and a control frame whole. False when more bytes are needed.
bool FrameReader::readFrame(Event &event)
{
    const auto *const at = reinterpret_cast<const uchar *>(m_input.constData()) + m_read;
    const qsizetype available = m_input.size() - m_read;
    if (available < 2)
        return false;
    const bool isFinal = at[0] & FinBit;
    const quint8 opcode = at[0] & OpcodeBits;
    const bool control = opcode & ControlBit;
    const quint8 shortLength = at[1] & LengthBits;
    if ((at[0] & RsvBits) || !(at[1] & MaskBit) || !known(opcode)
        || (control && (!isFinal || shortLength > MaxControlPayload))
        || (opcode == Continuation && !m_assembling)
        || ((opcode == TextFrame || opcode == BinaryFrame) && m_assembling)
        || (opcode == CloseFrame && shortLength == 1)) {
        event = fail(ProtocolError);
        return true;
    }
    // The page speaks text only.
    if (opcode == BinaryFrame) {
        event = fail(UnsupportedData);
        return true;
    }

    const qsizetype lengthSize = shortLength == Length16 ? 2 : shortLength == Length64 ? 8 : 0;
    const qsizetype headerSize = 2 + lengthSize + MaskSize;
    if (available < headerSize)
        return false;
    quint64 length = shortLength;
    if (lengthSize == 2)
        length = qFromBigEndian<quint16>(at + 2);
    else if (lengthSize == 8)
        length = qFromBigEndian<quint64>(at + 2);
    if (length >> 63) {
        event = fail(ProtocolError);
        return true;
    }
    std::copy_n(at + 2 + lengthSize, MaskSize, m_mask.begin());

    if (control) {
        if (available < headerSize + qsizetype(length))
            return false;
        QByteArray payload(m_input.constData() + m_read + headerSize, qsizetype(length));
        for (qsizetype i = 0; i < payload.size(); ++i)
            payload[i] = char(payload[i] ^ m_mask[i % MaskSize]);
        m_read += headerSize + qsizetype(length);
        if (opcode == PingFrame) {
            event = {Kind::Ping, payload};
        } else if (opcode == PongFrame) {
            event = {Kind::Pong, payload};
        } else if (payload.isEmpty()) {
            event = {Kind::Close, {}, NoStatus};
            m_closed = true;
        } else {
            QByteArray reason = payload.mid(CodeSize);
            if (!validUtf8(reason)) {
                event = fail(InvalidPayload);
                return true;
            }
            event = {Kind::Close, reason, qFromBigEndian<quint16>(payload.constData())};
            m_closed = true;
        }
        return true;
    }

    // Decided before any of the payload is kept, so nothing over the cap is ever held.
    if (length > quint64(m_max - m_message.size())) {
        event = fail(TooBig);
        return true;
    }
    m_read += headerSize;
    m_assembling = true;
    m_payloadLeft = qint64(length);
    m_final = isFinal;
    m_maskAt = 0;
    if (length == 0 && isFinal)
        finishMessage(event);
    return true;
}

// Unmasks what has arrived of a data frame's payload into the message. False when nothing has.
bool FrameReader::readPayload(Event &event)
{
    const qsizetype size = std::min<qint64>(m_payloadLeft, m_input.size() - m_read);
    if (size == 0)
        return false;
    const qsizetype start = m_message.size();
    m_message.append(m_input.constData() + m_read, size);
    char *const out = m_message.data() + start;
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char(out[i] ^ m_mask[(m_maskAt + i) % MaskSize]);
    m_maskAt = int((m_maskAt + size) % MaskSize);
    m_read += size;
    m_payloadLeft -= size;
    if (m_payloadLeft == 0 && m_final)
        finishMessage(event);
    return true;
}

void FrameReader::finishMessage(Event &event)
{
    // Checked whole: the fragments may split a letter anywhere.
    if (!validUtf8(m_message)) {
        event = fail(InvalidPayload);
        return;
    }
    m_assembling = false;
    event = {Kind::Text, std::exchange(m_message, {})};
}

FrameReader::Event FrameReader::fail(quint16 code)
{
    m_failCode = code;
    drop();
    return {Kind::Fail, {}, code};
}

void FrameReader::drop()
{
    m_input = {};
    m_read = 0;
    m_message = {};
    m_assembling = false;
    m_payloadLeft = 0;
}

// Frees what is read. Idle readers are many, so one that has read all holds no buffer at all; what is left
// of an incomplete header or control frame (at most 131 bytes) moves to a buffer of its own size rather
// than keep a large read's.
void FrameReader::release(const Event &event)
{
    if (m_closed) {
        drop();
    } else if (m_read == m_input.size()) {
        m_input = {};
        m_read = 0;
    } else if (event.kind == Kind::None && m_read > 0) {
        m_input = QByteArray(m_input.constData() + m_read, m_input.size() - m_read);
        m_read = 0;
    }
}
