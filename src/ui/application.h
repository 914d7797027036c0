#pragma once

// Creates the application and the operator window, shows it centred and runs
// until the program ends. Says so in one line when there is no display.
int runOperatorWindow(int argc, char *argv[]);
