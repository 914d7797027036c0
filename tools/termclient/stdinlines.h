#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

#include <termios.h>

class QTextStream;

// Reads standard input as it becomes readable, without blocking the event
// loop, and hands it on line by line (without the line end; a CR before the
// LF goes too). At the end of input a last line without a line end is
// handed on as well, then ended() follows.
//
// On a terminal it edits the line itself (the terminal's own echo and line
// editing are off while it runs): typed characters, Backspace, Ctrl+U, Enter,
// and Ctrl+D on an empty line to end. So it knows the half-typed line, and
// printAbove() can print what arrives above it and draw it again below, as
// terminal chat programs do, instead of the arrival landing inside it. Cursor
// and function keys are passed over. The terminal's settings come back when
// this object goes, and on SIGINT, SIGTERM and SIGHUP.
class StdinLines final : public QObject
{
    Q_OBJECT

public:
    StdinLines(QTextStream &out, QObject *parent = nullptr);
    ~StdinLines() override;

    void start();
    // Prints a line of output, keeping the line being typed below it.
    void printAbove(const QString &text);

signals:
    void line(const QByteArray &line);
    void ended();

private:
    void readAvailable();
    void take(const QByteArray &bytes);
    void edit(char c);
    void redraw();
    void finish();

    QTextStream &m_out;
    QSocketNotifier m_notifier;
    QByteArray m_partial;
    bool m_editing = false;
    // Inside an escape sequence (a cursor key's "ESC [ A"): see edit().
    enum class Escape { None, Started, Parameters } m_escape = Escape::None;
    bool m_ended = false;
};
