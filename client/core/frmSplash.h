#pragma once

#include <QWidget>

class QLabel;
class QTimer;

// Start-up window; closes itself 1500 ms after it was made, whatever the program is doing.
class frmSplash : public QWidget
{
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);

    QLabel *picLogo, *lblVersion, *lblProductName;
    QTimer *tmrUnload;
};
