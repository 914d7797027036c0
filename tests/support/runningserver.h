#pragma once

#include "fakedialogs.h"
#include "ui/form1.h"
#include "ui/transcriptview.h"

#include <QAction>
#include <QPushButton>

// The operator window, started as a server on the fixed ports.
struct RunningServer
{
    FakeDialogs dialogs;
    Form1 window{Form1::Services{nullptr, nullptr, &dialogs}};

    RunningServer() { window.Cmdconnct()->click(); }
    // Start refused (a port taken by another run) shows as a failure box.
    bool running() const { return !window.mnustart()->isEnabled(); }
    void stop()
    {
        dialogs.answer = true;
        window.mnudisconnect()->trigger();
    }
    // Every channel has accepted count clients.
    bool hasClients(int count)
    {
        return window.Winsock().highestIndex() == count && window.Winusers().highestIndex() == count
                && window.Winjoin().highestIndex() == count && window.Winleft().highestIndex() == count;
    }
};
