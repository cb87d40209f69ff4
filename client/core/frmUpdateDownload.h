#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

// Shown while update files arrive.
class frmUpdateDownload : public QDialog
{
    Q_OBJECT
public:
    explicit frmUpdateDownload(QWidget *parent = nullptr);

    QProgressBar *pbDownLoad;
    QLabel *LblDwn;
};
