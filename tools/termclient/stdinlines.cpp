#include "stdinlines.h"

#include "wire/visibletext.h"
#include "wire/wiretext.h"

#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

constexpr int StdinFd = 0;
constexpr int StdoutFd = 1;
constexpr qsizetype ReadChunk = 4096;
constexpr char CtrlD = 0x04;
constexpr char CtrlU = 0x15;
constexpr char Backspace = 0x08;
constexpr char Delete = 0x7f;
constexpr char Esc = 0x1b;
// Back to the start of the row, and the row cleared.
constexpr QStringView ClearRow = u"\r\x1b[K";

// The terminal's settings before editing began, for the signal handler.
termios savedTerminal;
volatile sig_atomic_t terminalChanged = 0;

// True when the bytes end in the first bytes of a UTF-8 letter: the rest is
// still on its way, and drawn half the letter would show as another one.
bool endsMidLetter(const QByteArray &bytes)
{
    for (qsizetype back = 1; back <= std::min<qsizetype>(4, bytes.size()); ++back) {
        const auto byte = quint8(bytes[bytes.size() - back]);
        if ((byte & 0xc0) == 0x80)
            continue; // a continuation byte: its lead byte is further back
        const int length = byte >= 0xf0 ? 4 : byte >= 0xe0 ? 3 : byte >= 0xc0 ? 2 : 1;
        return back < length;
    }
    return false;
}

void restoreTerminal()
{
    if (terminalChanged) {
        ::tcsetattr(StdinFd, TCSANOW, &savedTerminal);
        terminalChanged = 0;
    }
}

extern "C" void restoreAndReraise(int signal)
{
    restoreTerminal();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

StdinLines::StdinLines(QTextStream &out, QObject *parent)
    : QObject(parent), m_out(out), m_notifier(StdinFd, QSocketNotifier::Read)
{
    m_notifier.setEnabled(false);
    connect(&m_notifier, &QSocketNotifier::activated, this, &StdinLines::readAvailable);
}

StdinLines::~StdinLines()
{
    restoreTerminal();
}

void StdinLines::start()
{
    if (::isatty(StdinFd) && ::isatty(StdoutFd) && ::tcgetattr(StdinFd, &savedTerminal) == 0) {
        termios editing = savedTerminal;
        editing.c_lflag &= ~tcflag_t(ICANON | ECHO);
        editing.c_cc[VMIN] = 1;
        editing.c_cc[VTIME] = 0;
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            std::signal(signal, restoreAndReraise);
        m_editing = ::tcsetattr(StdinFd, TCSANOW, &editing) == 0;
        terminalChanged = m_editing;
    }
    m_notifier.setEnabled(true);
}

void StdinLines::printAbove(const QString &text)
{
    if (m_editing)
        m_out << ClearRow;
    m_out << text << '\n';
    if (m_editing)
        m_out << VisibleText::shown(WireText::decodeForDisplay(m_partial));
    m_out.flush();
}

void StdinLines::readAvailable()
{
    // The notifier said the descriptor is readable (or at its end), so this
    // one read returns at once.
    char buffer[ReadChunk];
    const ssize_t got = ::read(StdinFd, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (got <= 0) {
        finish();
        return;
    }
    take(QByteArray(buffer, got));
}

void StdinLines::take(const QByteArray &bytes)
{
    if (m_editing) {
        for (char c : bytes) {
            if (m_ended)
                return;
            edit(c);
        }
        return;
    }
    m_partial.append(bytes);
    qsizetype newline;
    while ((newline = m_partial.indexOf('\n')) >= 0) {
        QByteArray one = m_partial.left(newline);
        m_partial.remove(0, newline + 1);
        if (one.endsWith('\r'))
            one.chop(1);
        emit line(one);
    }
}

void StdinLines::edit(char c)
{
    // An escape sequence ends in a byte from '@' to '~'; "ESC x" is two bytes.
    if (m_escape == Escape::Started) {
        m_escape = (c == '[' || c == 'O') ? Escape::Parameters : Escape::None;
        return;
    }
    if (m_escape == Escape::Parameters) {
        if (c >= '@' && c <= '~')
            m_escape = Escape::None;
        return;
    }
    switch (c) {
    case '\r':
    case '\n':
        m_out << '\n';
        m_out.flush();
        emit line(std::exchange(m_partial, {}));
        return;
    case Backspace:
    case Delete:
        // A whole letter: UTF-8 continuation bytes go with their lead byte.
        while (!m_partial.isEmpty() && (quint8(m_partial.back()) & 0xc0) == 0x80)
            m_partial.chop(1);
        m_partial.chop(1);
        redraw();
        return;
    case CtrlU:
        m_partial.clear();
        redraw();
        return;
    case CtrlD:
        if (m_partial.isEmpty())
            finish();
        return;
    case Esc:
        m_escape = Escape::Started;
        return;
    default:
        if (quint8(c) < 0x20)
            return; // other control keys type nothing
        m_partial.append(c);
        redraw();
        return;
    }
}

void StdinLines::redraw()
{
    if (endsMidLetter(m_partial))
        return;
    m_out << ClearRow << VisibleText::shown(WireText::decodeForDisplay(m_partial));
    m_out.flush();
}

void StdinLines::finish()
{
    if (m_ended)
        return;
    m_ended = true;
    m_notifier.setEnabled(false);
    if (m_editing) {
        m_out << '\n';
        m_out.flush();
        restoreTerminal();
    }
    if (!m_partial.isEmpty())
        emit line(std::exchange(m_partial, {}));
    emit ended();
}
