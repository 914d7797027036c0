#include "ui/application.h"

int main(int argc, char *argv[])
{
    return runOperatorWindow(argc, argv);
}
