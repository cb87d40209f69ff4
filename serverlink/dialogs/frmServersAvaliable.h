#pragma once

#include <QDialog>
#include <QString>

class QGroupBox;
class QListWidget;
class QPushButton;

// The server list: the servers of the last search (or of a new one) to pick from.
class frmServersAvaliable : public QDialog
{
    Q_OBJECT
public:
    explicit frmServersAvaliable(QWidget *parent = nullptr);

    qint32 PortConnection = 0;
    bool EseguiSearch = false; // search on opening
    bool Ok = false;
    QString ServerSelected;
    QString UserName; // sent with each probe
    int TimeSearch = 1500;

    // Opening: runs a search when EseguiSearch is set, else lists the last search's answers.
    void Load();
    void LaunchSearch();
    void loadList();

private:
    void fill(const QStringList &servers);
    void confirm();

    QGroupBox *m_frame = nullptr;
    QListWidget *m_list = nullptr;
    QPushButton *m_refresh = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};
