#include "frmInoltra.h"

#include "ItemFrmForward.h"
#include "ProgramInfo.h"
#include "Prompt.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

enum Column { ColCode = 0, ColName = 1, ColMail = 2, ColOnlyMsg = 3, ColForwarded = 4 };
constexpr int KeyRole = Qt::UserRole;
const QColor Red(255, 0, 0);

QTreeWidget *makeList(QWidget *parent, const QString &name, const QStringList &headers,
                      const QList<int> &widthsTwips)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setHeaderLabels(headers);
    const double dpi = list->logicalDpiX();
    int total = 0;
    for (int c = 0; c < widthsTwips.size(); ++c) {
        const int width = int(widthsTwips[c] * dpi / 1440.0 + 0.5);
        list->setColumnHidden(c, width == 0);
        if (width > 0)
            list->setColumnWidth(c, width);
        total += width;
    }
    list->setMinimumWidth(total + 2 * list->frameWidth() + 4);
    return list;
}

} // namespace

frmInoltra::frmInoltra(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmInoltra"_s);
    setWindowTitle(u"Inoltra"_s);
    setWindowIcon(ProgramIcon());
    setModal(true);

    auto *fraGroups = new QGroupBox(u"Gruppi"_s, this);
    fraGroups->setObjectName(u"Frame1"_s);
    list_Groups = makeList(fraGroups, u"list_Groups"_s,
                           {u"Gruppo"_s, u"Descrizione"_s, u"E-Mail"_s, u"Solo Msg"_s, u"Inoltrato"_s},
                           {1600, 3500, 3500, 0, 0});
    (new QVBoxLayout(fraGroups))->addWidget(list_Groups);
    auto *fraUsers = new QGroupBox(u"Utenti"_s, this);
    fraUsers->setObjectName(u"Frame2"_s);
    list_Users = makeList(fraUsers, u"list_Users"_s,
                          {u"Utente"_s, u"Nome completo"_s, u"E-Mail"_s, u"Solo Msg"_s, u"Inoltrato"_s},
                          {1500, 2000, 3500, 0, 0});
    (new QVBoxLayout(fraUsers))->addWidget(list_Users);

    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdCancel = new QPushButton(u"Annulla"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(fraGroups);
    layout->addWidget(fraUsers);
    layout->addLayout(buttons);

    for (QTreeWidget *list : {list_Groups, list_Users}) {
        list->installEventFilter(this);
        list->viewport()->installEventFilter(this);
    }
    connect(cmdOK, &QPushButton::clicked, this, &frmInoltra::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmInoltra::cmdCancel_Click);
}

void frmInoltra::showEvent(QShowEvent *event)
{
    // Each opening starts again from the lists in hand, as a freshly loaded window would.
    if (!event->spontaneous())
        Form_Load();
    QDialog::showEvent(event);
}

void frmInoltra::Form_Load()
{
    sUsersMails_Attach.clear();
    sUsersMails.clear();
    list_Groups->clear();
    list_Users->clear();
    if (Gruppi && Gruppi->Count() > 0)
        FillList(list_Groups, Gruppi);
    if (Utenti && Utenti->Count() > 0)
        FillList(list_Users, Utenti);
    for (QTreeWidget *list : {list_Groups, list_Users}) {
        list->sortItems(ColName, Qt::AscendingOrder);
        FirstSelection(list);
    }
    ok = false;
}

void frmInoltra::FillList(QTreeWidget *list, const ListItemFrmForward *items)
{
    QList<QTreeWidgetItem *> rows;
    for (const ItemFrmForward &item : *items) {
        auto *row = new QTreeWidgetItem;
        row->setData(ColCode, KeyRole, QString(u'K' + item.IdItem()));
        row->setText(ColCode, item.Code());
        row->setText(ColName, item.Name());
        row->setText(ColMail, item.Mail());
        row->setText(ColOnlyMsg, item.OnlyMsg() ? u"True"_s : u"False"_s);
        // The tick is drawn but only ToggleRow changes it.
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        row->setCheckState(ColCode, Qt::Unchecked);
        if (item.IsChecked()) {
            row->setText(ColForwarded, u"S"_s);
            for (int c = 0; c < list->columnCount(); ++c)
                row->setForeground(c, Red);
        }
        rows.append(row);
    }
    list->addTopLevelItems(rows);
}

void frmInoltra::FirstSelection(QTreeWidget *list)
{
    if (list->topLevelItemCount() == 0)
        return;
    list->clearSelection();
    QTreeWidgetItem *first = list->topLevelItem(0);
    list->setCurrentItem(first);
    first->setSelected(true);
}

void frmInoltra::ToggleRow(QTreeWidget *list, QTreeWidgetItem *row)
{
    if (!row)
        return;
    if (row->text(ColForwarded) != u"S"_s) {
        row->setCheckState(ColCode, row->checkState(ColCode) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        return;
    }
    QApplication::beep();
    Prompt::message(this, QMessageBox::Warning, ProgramTitle(),
                    u"Fax già inoltrato a "_s + row->text(ColName).trimmed() +
                        u"\nImpossibile selezionare."_s);
    row->setCheckState(ColCode, Qt::Unchecked);
    Q_UNUSED(list);
}

bool frmInoltra::eventFilter(QObject *watched, QEvent *event)
{
    for (QTreeWidget *list : {list_Groups, list_Users}) {
        if (watched == list->viewport() && event->type() == QEvent::MouseButtonPress) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            QTreeWidgetItem *row = list->itemAt(mouse->position().toPoint());
            if (!row)
                return false;
            list->setFocus();
            list->clearSelection();
            list->setCurrentItem(row);
            row->setSelected(true);
            ToggleRow(list, row);
            return true;
        }
        if (watched == list && event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space) {
            ToggleRow(list, list->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

ItemFrmForward *frmInoltra::ItemOfRow(const ListItemFrmForward *items, const QTreeWidgetItem *row) const
{
    // The row keeps the item's id as it came, so an id such as "007" finds its item again.
    const QString key = row->data(ColCode, KeyRole).toString().mid(1);
    return items && !key.isEmpty() ? items->ItemKey(key) : nullptr;
}

void frmInoltra::AddMail(QString &list, const QString &address)
{
    const QStringList present = list.split(u';', Qt::SkipEmptyParts);
    for (const QString &p : present) {
        if (p.compare(address, Qt::CaseInsensitive) == 0)
            return;
    }
    list += u';' + address;
}

void frmInoltra::CollectChoice()
{
    if (chiave.isEmpty() || chiave == u"-1"_s)
        return;
    const auto addFor = [this](const ItemFrmForward &item, const QString &mail) {
        if (mail.size() > 5)
            AddMail(item.OnlyMsg() ? sUsersMails : sUsersMails_Attach, mail);
    };
    for (int r = 0; r < list_Groups->topLevelItemCount(); ++r) {
        const QTreeWidgetItem *row = list_Groups->topLevelItem(r);
        ItemFrmForward *group = ItemOfRow(Gruppi, row);
        if (!group)
            continue;
        group->setIsChecked(row->checkState(ColCode) == Qt::Checked);
        if (!group->IsChecked())
            continue;
        addFor(*group, group->Mail());
        QString members = group->GroupComponents();
        members.remove(u'(').remove(u')');
        const QStringList ids = members.split(u',', Qt::SkipEmptyParts);
        for (const QString &id : ids) {
            const ItemFrmForward *user = Utenti ? Utenti->ItemKey(id.trimmed()) : nullptr;
            if (user)
                addFor(*user, user->Mail());
        }
    }
    for (int r = 0; r < list_Users->topLevelItemCount(); ++r) {
        const QTreeWidgetItem *row = list_Users->topLevelItem(r);
        ItemFrmForward *user = ItemOfRow(Utenti, row);
        if (!user)
            continue;
        user->setIsChecked(row->checkState(ColCode) == Qt::Checked);
        if (user->IsChecked())
            addFor(*user, user->Mail());
    }
}

void frmInoltra::cmdOK_Click()
{
    CollectChoice();
    ok = true;
    accept();
}

void frmInoltra::cmdCancel_Click()
{
    reject();
}
