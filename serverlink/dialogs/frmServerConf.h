#pragma once

#include <QDialog>
#include <QString>

#include <optional>

class QGroupBox;
class QLineEdit;
class QPushButton;

// Server settings: the server's name and the link port, typed or picked from a search. It edits
// values only; the caller reads Ok and, when set, m_sockServer and m_sockPort.
class frmServerConf : public QDialog
{
    Q_OBJECT
public:
    explicit frmServerConf(QWidget *parent = nullptr);

    // The library's one settings window (kept between uses, so a caller that sets only the port
    // shows the name of the previous use).
    static frmServerConf *instance();

    QString m_sockServer;
    qint32 m_sockPort = 0;
    bool Ok = false;

    // Discovery settings for the "..." search.
    QString UserName;
    int TimeSearch = 1500;

    // Opening: fills the boxes from m_sockServer and m_sockPort, disables Applica, clears Ok.
    void Load();

    // The port text as a port: a number (decimal part dropped) from 1 to 65535; nothing otherwise.
    static std::optional<qint32> portFromText(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool validatePort();
    // Port and server name checked (the user told what is wrong), then saved and confirmed.
    bool saveChecked();
    void SaveServerOptions();
    void onOk();
    void onApply();
    void onSelectServer();

    QGroupBox *m_frame = nullptr;
    QLineEdit *m_server = nullptr;
    QLineEdit *m_port = nullptr;
    QPushButton *m_select = nullptr;
    QPushButton *m_okButton = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_apply = nullptr;
    bool m_validating = false;
};

// Shows the library's settings window with server and port. Modal (1): waits and returns whether
// the user confirmed, with the edited values in server and port. Modeless (0): shows it and
// returns false (nothing is confirmed yet when it returns).
bool runServerConf(QString &server, int &port, int modal, const QString &userName, int timeSearch);
