#pragma once

#include <QObject>
#include <QPointer>

class frmMain;
class frmSplash;

// The fax client's start-up routine: makes the main window, shows the splash window, reads the settings,
// finds a server when none is set, connects, and waits (without blocking: on the main window's flags)
// until the server accepts the user, the start is given up, or an update has been downloaded.
class StartupMain : public QObject
{
    Q_OBJECT
public:
    enum class Outcome { Running, Ended, Updating };

    explicit StartupMain(QObject *parent = nullptr);
    ~StartupMain() override;

    // Runs the steps up to the wait; the rest follows from the main window's events.
    void Main();

    frmMain *mainWindow() const { return m_main; }
    frmSplash *splash() const { return m_splash; }
    Outcome outcome() const { return m_outcome; }
    bool waiting() const { return m_waiting; }

Q_SIGNALS:
    // The start is over: Running (the main window goes on), Ended or Updating (the program should end).
    void finished(StartupMain::Outcome outcome);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void check();
    void end(Outcome outcome);
    void unloadMain();

    QPointer<frmMain> m_main;
    QPointer<frmSplash> m_splash;
    Outcome m_outcome = Outcome::Running;
    bool m_waiting = false;
    bool m_done = false;
};
