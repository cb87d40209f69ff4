#pragma once

#include <QObject>
#include <QPointer>

#include "frmMain.h"

class SingleInstance;

namespace QuorinLive {

// The tray launcher's start: refuses a second instance, reads the server settings (searching for a server
// while there are none), connects, and waits without blocking, on the tray window's flags, until the
// server accepts the user, is reported unavailable, or an accepted update has been downloaded. Then it
// either leaves the program resident in the notification area or hands the update to the restart program.
class StartupMain : public QObject
{
    Q_OBJECT
public:
    // Running: resident. Ended: the program ends. Updating: the restart program was started; it ends.
    enum class Outcome { Running, Ended, Updating };

    explicit StartupMain(QObject *parent = nullptr);
    ~StartupMain() override;

    void Main();

    frmMain *trayWindow() const { return m_main; }
    Outcome outcome() const { return m_outcome; }
    bool waiting() const { return m_waiting; }

Q_SIGNALS:
    // The start is over (once).
    void finished(StartupMain::Outcome outcome);
    // The program should end: after Ended or Updating, after "Esci", or after a later update hand-over.
    void exitRequested();

private:
    void afterClaim();
    void check();
    void handOver();
    void end(Outcome outcome);
    void unloadMain();

    SingleInstance *m_instance = nullptr;
    QPointer<frmMain> m_main;
    Outcome m_outcome = Outcome::Running;
    bool m_waiting = false;
    bool m_done = false;
    bool m_handingOver = false;
};

} // namespace QuorinLive
