#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// Information window of the help menu.
class frmAbout2 : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout2(QWidget *parent = nullptr);

    QLabel *Picture1, *lblVersion, *Label1, *Label2, *Label3, *lblDisclaimer;
    QPushButton *cmdClose;
};
