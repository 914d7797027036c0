#pragma once

// Qt's own Unix event dispatcher instead of the GLib one: a pass through it
// costs less, and the figures in bench/README.md were measured with it. (It
// mattered more while every connection had socket notifiers of its own, which
// the GLib dispatcher finds by walking a list; connections are now watched
// through one epoll set, see SocketReactor.) Call before the application
// object is created; an explicit QT_NO_GLIB wins.
void preferUnixEventDispatcher();
