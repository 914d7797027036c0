#include "net/descriptorlimit.h"
#include "net/eventdispatcher.h"
#include "ui/application.h"

int main(int argc, char *argv[])
{
    raiseOpenFileLimit();
    preferUnixEventDispatcher();
    return runOperatorWindow(argc, argv);
}
