#pragma once

#include <QPointer>
#include <QWidget>

class QLineEdit;
class QProgressBar;
class QPushButton;
class frmPrint;

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

Q_SIGNALS:
    void finished();

private:
    void sendJobFax(const class clsXMLNode &fax);
    void check();
    void finish();

    QPointer<frmPrint> m_window;
    QPointer<frmStatoInvio> m_progress;
    bool m_waiting = false;
    bool m_done = false;
    int m_handedOver = 0;
    int m_failed = 0;
};
