#pragma once

#include <QByteArray>

#include <array>

// Server side of RFC 6455.
namespace WebSocketFrames {
// The close codes the gateway uses (RFC 6455, 7.4.1). NoStatus and Abnormal
// are never sent: they stand for a close without a code and for a connection
// ended without a close.
enum CloseCode : quint16 {
    Normal = 1000,
    GoingAway = 1001,
    ProtocolError = 1002,
    UnsupportedData = 1003,
    NoStatus = 1005,
    Abnormal = 1006,
    InvalidPayload = 1007,
    PolicyViolated = 1008,
    TooBig = 1009,
};

// The Sec-WebSocket-Accept value for a client's Sec-WebSocket-Key
// (base64 of SHA-1 of key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11").
QByteArray acceptKey(const QByteArray &clientKey);
// One unmasked, final frame from the server.
QByteArray text(const QByteArray &utf8);
// Control frames carry at most 125 bytes; a longer payload is cut.
QByteArray pong(const QByteArray &payload);
// A close frame with code (2 bytes, network order) and reason (UTF-8, cut so the payload stays <= 125 bytes).
// The cut falls between letters, since a browser drops a connection whose close reason is not UTF-8.
QByteArray close(quint16 code, const QByteArray &reason = {});
} // namespace WebSocketFrames

// Reads what one browser sends: frames, masked as a client must send them, possibly fragmented, cut anywhere
// by the reads. Keeps only what it needs: the bytes of an incomplete frame and the message being assembled.
// A data frame's payload goes into the message as it arrives; a control frame waits whole (at most 131 bytes).
class FrameReader
{
public:
    enum class Kind { None, Text, Ping, Pong, Close, Fail };
    struct Event
    {
        Kind kind = Kind::None;
        QByteArray payload; // Text: the whole message (UTF-8); Ping/Pong: the payload; Close: the reason
        quint16 code = 0;   // Close: the peer's code (1005 if it gave none); Fail: the close code to answer with
    };

    explicit FrameReader(qint64 maxMessageBytes);
    // Bytes are only stored here; next() reads them. After Close or Fail, bytes are dropped.
    void feed(const char *data, qsizetype size);
    // The next complete event, or Kind::None when more bytes are needed. After Fail, always Fail; after
    // Close, always None: a browser sends nothing after its close.
    Event next();
    // Bytes held now (incomplete frame + message being assembled), for the gateway's memory bound. Once
    // next() has given None it is at most maxMessageBytes plus a control frame; before, it also counts what
    // was fed and not yet read.
    qsizetype held() const;

private:
    bool readFrame(Event &event);
    bool readPayload(Event &event);
    void finishMessage(Event &event);
    Event fail(quint16 code);
    void drop();
    void release(const Event &event);

    qint64 m_max = 0;
    // What was fed and is not read yet begins at m_input[m_read].
    QByteArray m_input;
    qsizetype m_read = 0;
    QByteArray m_message;
    bool m_assembling = false;
    // The data frame whose payload is arriving.
    qint64 m_payloadLeft = 0;
    bool m_final = false;
    std::array<char, 4> m_mask{};
    int m_maskAt = 0;
    quint16 m_failCode = 0;
    bool m_closed = false;
};
