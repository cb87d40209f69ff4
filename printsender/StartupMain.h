#pragma once

#include "frmInst.h"
#include "frmPrint.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>

class XmlJobRun;

namespace Sendora {

// The program's start: reads the command line, then either shows the printer installer, or reads the
// settings, finds and connects to the server and waits (without blocking) until the server accepted
// the user, the start was given up, or an update arrived. Then it shows the send window, runs the XML
// job without it, or hands the update to the restart program. exitRequested asks the caller to end the
// program with exitCode().
class StartupMain : public QObject
{
    Q_OBJECT
public:
    explicit StartupMain(QObject *parent = nullptr);
    ~StartupMain() override;

    void Main(const QStringList &arguments);
    // The job file to read instead of the name of "-F" (that name, opened by its bytes); empty: the name.
    void setJobFileByBytes(const QString &path) { m_jobFileByBytes = path; }

    frmPrint *sendWindow() const { return m_main; }
    frmInst *installer() const { return m_installer; }
    XmlJobRun *jobRun() const { return m_job; }
    bool ended() const { return m_ended; }
    int exitCode() const { return m_exitCode; }
    // How long the end waits for unsent bytes of the link.
    static constexpr int DrainTimeoutMs = 120000;

Q_SIGNALS:
    void exitRequested();

private:
    void sendRoad();
    void boundHiddenStart();
    void check();
    void handOver();
    void unloadMain();
    void tellHidden(const QString &text);
    void end(int code = 0);

    QPointer<frmPrint> m_main;
    QPointer<frmInst> m_installer;
    XmlJobRun *m_job = nullptr;
    QString m_jobFileByBytes;
    bool m_waiting = false;
    bool m_ended = false;
    int m_exitCode = 0;
    QElapsedTimer m_clock;      // since the start
    int m_connectionsMade = 0;  // connections the server took during the start-up
};

// Adds the sender's own texts to the string table.
void LoadSendoraStrings();

} // namespace Sendora
