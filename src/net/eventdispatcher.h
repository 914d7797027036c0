#pragma once

// Qt's GLib event dispatcher finds a socket notifier by walking a list each
// time one is switched on or off, and a socket switches its write notifier
// around every send: with thousands of sockets a broadcast grows with the
// square of the clients. Qt's own Unix dispatcher keeps them in a hash. Call
// before the application object is created; an explicit QT_NO_GLIB wins.
void preferUnixEventDispatcher();
