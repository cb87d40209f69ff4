#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;
class QTimer;

// The connecting window: shown without blocking while the link connects, a bar that fills once per
// three watchdog periods and starts over. The library keeps one.
class frmConnecting : public QWidget
{
    Q_OBJECT
public:
    explicit frmConnecting(QWidget *parent = nullptr);

    static frmConnecting *instance();

    void setServer(const QString &server);
    QString Server() const { return m_server; }
    qint16 Tentativicompleti = 0;
    qint32 TimeConnecting = 0; // milliseconds for one pass of the bar; 0: three watchdog periods

    // Opening: timer and bar set up from TimeConnecting (or timeCheckServer), then shown.
    void Load(qint32 timeCheckServer);
    // Shows the window for server (what Connect does).
    void showFor(const QString &server, qint32 timeCheckServer);
    // Stops the timer and hides the window (the login answered or the watchdog gave up).
    void stopAndHide();
    // The same for the library's window, when there is one.
    static void hideInstance();

    int step() const { return m_step; }

private:
    void tick();

    QLabel *m_conn = nullptr;
    QLabel *m_serverLabel = nullptr;
    QProgressBar *m_bar = nullptr;
    QTimer *m_timer = nullptr;
    QString m_server;
    int m_step = 0;
};
