#pragma once

#include <QObject>

class Form1;
class RosterUpkeep;

// The life of the server inside the operator window: the load step, start,
// stop after the warning, and exit.
class ServerLifecycle final : public QObject
{
    Q_OBJECT

public:
    ServerLifecycle(Form1 &window, RosterUpkeep &upkeep, QObject *parent = nullptr);

    void load();   // Form1 load step
    void start();  // Cmdconnct click and mnustart
    void stop();   // mnudisconnect
    void exit();   // mnuexit
};
