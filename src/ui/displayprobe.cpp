#include "displayprobe.h"

DisplayProbe::DisplayProbe()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const QByteArray display = qgetenv("DISPLAY");
    const bool wayland = qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    // Another platform (offscreen, a Wayland session Qt may take first):
    // Qt decides.
    const bool x11 = platform.startsWith("xcb") || (platform.isEmpty() && !wayland);
    if (!x11)
        return;
    if (display.isEmpty())
        m_problem = QStringLiteral("ekran bulunamadı (DISPLAY yok); pencere açılamıyor.");
    else if (!reachable(display))
        m_problem = QStringLiteral("%1 ekranına bağlanılamadı; pencere açılamıyor.")
                            .arg(QString::fromLocal8Bit(display));
}

DisplayProbe::~DisplayProbe()
{
    if (m_connection)
        m_disconnect(m_connection);
}

// Connects to the X server as the X11 plugin does, through libxcb, which that
// plugin loads anyway; resolved at run time so building needs no X headers.
// True when it connects, or when it cannot be asked (then Qt decides).
bool DisplayProbe::reachable(const QByteArray &display)
{
    m_xcb.setFileNameAndVersion(QStringLiteral("xcb"), 1);
    using Connect = void *(*)(const char *, int *);
    using HasError = int (*)(void *);
    const auto connect = reinterpret_cast<Connect>(m_xcb.resolve("xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(m_xcb.resolve("xcb_connection_has_error"));
    m_disconnect = reinterpret_cast<void (*)(void *)>(m_xcb.resolve("xcb_disconnect"));
    if (!connect || !hasError || !m_disconnect)
        return true;
    // Even a failed connection is an object to free.
    m_connection = connect(display.constData(), nullptr);
    return m_connection && hasError(m_connection) == 0;
}
