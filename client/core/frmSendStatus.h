#pragma once

#include <QDialog>
#include <QSize>

class QLabel;
class QPushButton;

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
