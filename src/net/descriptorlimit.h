#pragma once

// Every client holds four sockets; the usual soft limit of 1024 open files
// would refuse the 256th client. Raises the soft limit to the hard limit and
// returns the soft limit now in force (-1 if it cannot be read).
long raiseOpenFileLimit();
