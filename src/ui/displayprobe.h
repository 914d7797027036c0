#pragma once

#include <QLibrary>
#include <QString>

// Qt aborts the program when it cannot open the display it was pointed at
// (a failed "ssh -X", a stale DISPLAY), with a hint about reinstalling. The
// window asks first, the way Qt's X11 plugin will, and says in one line what
// is wrong instead.
//
// The probe's connection stays open until the probe goes: an X server with no
// other client (Xvfb, as xvfb-run starts it) resets when its last client
// leaves, and a connection made during the reset fails. Keep the probe until
// the application holds its own connection.
class DisplayProbe
{
public:
    DisplayProbe();
    ~DisplayProbe();
    DisplayProbe(const DisplayProbe &) = delete;
    DisplayProbe &operator=(const DisplayProbe &) = delete;

    // Empty when a window can be opened, as far as can be told beforehand;
    // otherwise one Turkish line naming the display.
    QString problem() const { return m_problem; }

private:
    bool reachable(const QByteArray &display);

    QString m_problem;
    QLibrary m_xcb;
    void *m_connection = nullptr;
    void (*m_disconnect)(void *) = nullptr;
};
