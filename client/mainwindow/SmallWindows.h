#pragma once

#include <QDialog>
#include <QSize>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// The program's title and its version text ("major.minor.revision").
QString ProgramTitle();
QString ProgramVersion();

// Transmission progress of the server, filled by the main window. Closing it leaves the transmission
// on the server alone. It sits near the screen's bottom-right corner and keeps its size.
class frmSendStatus : public QDialog
{
    Q_OBJECT
public:
    explicit frmSendStatus(QWidget *parent = nullptr);

    QLabel *lblStatus, *lblPercent, *lblDestination, *lblFaxNumber, *lblPage, *lblNumTentativo, *lblRemoteID,
        *lblSpeed;
    QPushButton *cmdCancel;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QSize m_keptSize;
    bool m_placed = false;
};

// Start-up window; closes itself 1500 ms after it was made, whatever the program is doing.
class frmSplash : public QWidget
{
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);

    QLabel *picLogo, *lblVersion, *lblProductName;
    QTimer *tmrUnload;
};

// Information window of the help menu.
class frmAbout2 : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout2(QWidget *parent = nullptr);

    QLabel *Picture1, *lblVersion, *Label1, *Label2, *Label3, *lblDisclaimer;
    QPushButton *cmdClose;
};

// Shown while update files arrive.
class frmUpdateDownload : public QDialog
{
    Q_OBJECT
public:
    explicit frmUpdateDownload(QWidget *parent = nullptr);

    QProgressBar *pbDownLoad;
    QLabel *LblDwn;
};
