#include "net/descriptorlimit.h"
#include "ui/application.h"

int main(int argc, char *argv[])
{
    raiseOpenFileLimit();
    return runOperatorWindow(argc, argv);
}
