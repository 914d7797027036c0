#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

// Reads standard input as it becomes readable, without blocking the event
// loop, and hands it on line by line (without the line end; a CR before the
// LF goes too). At the end of input a last line without a line end is
// handed on as well, then ended() follows.
class StdinLines final : public QObject
{
    Q_OBJECT

public:
    explicit StdinLines(QObject *parent = nullptr);

    void start();

signals:
    void line(const QByteArray &line);
    void ended();

private:
    void readAvailable();
    void finish();

    QSocketNotifier m_notifier;
    QByteArray m_partial;
    bool m_ended = false;
};
