#include "frmServersAvaliable.h"

#include "ServerSearch.h"
#include "frmSearchServers.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

frmServersAvaliable::frmServersAvaliable(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmServersAvaliable"_s);
    setWindowTitle(u"Quorin"_s);
    m_frame = new QGroupBox(u"Server disponibili"_s, this);
    m_frame->setObjectName(u"lstServersavailable"_s);
    m_list = new QListWidget(m_frame);
    m_list->setObjectName(u"lstServers"_s);
    auto *frameLayout = new QVBoxLayout(m_frame);
    frameLayout->addWidget(m_list);
    m_refresh = new QPushButton(u"Refresh"_s, this);
    m_refresh->setObjectName(u"cmdRefresh"_s);
    m_ok = new QPushButton(u"OK"_s, this);
    m_ok->setObjectName(u"cmdOK"_s);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(u"Annulla"_s, this);
    m_cancel->setObjectName(u"cmdCancel"_s);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_refresh);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_frame);
    layout->addLayout(buttons);

    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) { m_ok->setEnabled(row >= 0); });
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { confirm(); });
    connect(m_ok, &QPushButton::clicked, this, [this] { confirm(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        Ok = false;
        ServerSelected.clear();
        reject();
    });
    connect(m_refresh, &QPushButton::clicked, this, &frmServersAvaliable::LaunchSearch);
}

void frmServersAvaliable::Load()
{
    Ok = false;
    if (EseguiSearch)
        LaunchSearch();
    else
        loadList();
}

void frmServersAvaliable::LaunchSearch()
{
    m_list->clear();
    m_ok->setEnabled(false);
    ServerSelected.clear();
    m_refresh->setEnabled(false);
    fill(runServerSearch(this, QString(), PortConnection, UserName, TimeSearch));
    m_refresh->setEnabled(true);
}

void frmServersAvaliable::loadList()
{
    m_list->clear();
    m_ok->setEnabled(false);
    fill(ServerSearch::lastAnswers());
}

void frmServersAvaliable::fill(const QStringList &servers)
{
    m_list->addItems(servers);
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    m_ok->setEnabled(m_list->currentRow() >= 0);
}

void frmServersAvaliable::confirm()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    Ok = true;
    ServerSelected = item->text();
    accept();
}
