#pragma once

#include <QPointer>
#include <QWidget>

class QLineEdit;
class QProgressBar;
class QPushButton;
class frmPrint;

namespace Sendora {
// How a run ends, as its process exit code.
enum ExitCode {
    ExitOk = 0,          // every fax of the job delivered (or the window closed)
    ExitNoServer = 1,    // no server: the start-up was given up or cancelled
    ExitUsage = 2,       // "-H" without a job file name
    ExitJobFile = 3,     // the job file is missing, unreadable, malformed or holds no fax
    ExitUndelivered = 4, // a fax was not delivered (document unreadable, refused, link lost)
    ExitNoDisplay = 5,   // a mode that needs a window found no display
};
} // namespace Sendora

// "Invio in corso...": the only window of a run without the send window.
class frmStatoInvio : public QWidget
{
    Q_OBJECT
public:
    explicit frmStatoInvio(QWidget *parent = nullptr);

    QLineEdit *txtServer;
    QProgressBar *pbInvio;
    QPushButton *cbCancel; // no action: the run ends by itself
};

// Sends the faxes of an XML job file through the (hidden) send window's link: each "fax" element is
// handed over as soon as its end tag is read; when none is pending any more the send window is closed,
// which ends the program. Also ends (finished) when there is nothing to wait for.
class XmlJobRun : public QObject
{
    Q_OBJECT
public:
    explicit XmlJobRun(frmPrint *sendWindow, QObject *parent = nullptr);
    ~XmlJobRun() override;

    void SendFromXmlFile(const QString &FileName);
    frmStatoInvio *progressWindow() const { return m_progress; }
    int handedOver() const { return m_handedOver; }
    int failed() const { return m_failed; }
    // The job file was missing, unreadable, malformed or held no fax.
    bool fileError() const { return m_fileError; }
    // The process exit code of the run (Sendora::ExitCode).
    int exitCode() const;
    // A usable job file name: ExitOk, else the message was shown and the code says why.
    static int checkJobFile(const QString &FileName);
    // Why a fax cannot be sent (no document, or one that cannot be read); empty when it can.
    static QString unreadableDocument(const class faxOut &fax);

Q_SIGNALS:
    void finished();

private:
    void sendJobFax(const class clsXMLNode &fax);
    void check();
    void finish();
    void conclude(); // after the close that settles the faxes

    QPointer<frmPrint> m_window;
    QPointer<frmStatoInvio> m_progress;
    bool m_waiting = false;
    bool m_done = false;
    bool m_closing = false;
    int m_handedOver = 0;
    int m_failed = 0;
    int m_unconfirmed = 0; // settled by a close the server did not end: neither delivered nor lost
    int m_faxes = 0;
    int m_delivered = 0; // confirmed by the server when the run ended
    bool m_fileError = false;
};
