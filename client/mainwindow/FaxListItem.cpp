#include "FaxListItem.h"

#include "FaxItem.h"
#include "FaxListText.h"

#include <QFont>
#include <QHash>
#include <QIcon>
#include <QTreeWidget>

#include <algorithm>
#include <numeric>
#include <vector>

int FaxListItem::s_sortColumn = FaxListText::ColDateOrder;

FaxListItem::FaxListItem() : QTreeWidgetItem(Type) {}

void FaxListItem::fill(const FaxItem &fax, int activeList, const QIcon &icon, const QString &iconName)
{
    FaxListText::RowTextCache texts(activeList);
    fill(fax, texts, activeList, icon, iconName);
}

namespace {

// The sort key as the row reads it: the whole number of its text, blanks around it left out; 0 when
// the text is not one.
qint64 dateKeyOf(const QString &dateOrder)
{
    QStringView digits = QStringView(dateOrder).trimmed();
    qint64 v = 0;
    if (!digits.isEmpty() && digits.size() <= 18) {
        bool plain = true;
        for (const QChar c : digits) {
            if (c < u'0' || c > u'9') {
                plain = false;
                break;
            }
            v = v * 10 + (c.unicode() - u'0');
        }
        if (plain)
            return v;
    }
    return digits.toLongLong();
}

} // namespace

void FaxListItem::fill(const FaxItem &fax, FaxListText::RowTextCache &texts, int activeList,
                       const QIcon &icon, const QString &iconName)
{
    m_key = fax.IdFax();
    const QString dateOrder = fax.DateOrder();
    putText(FaxListText::ColStatus, texts.status(fax));
    putText(FaxListText::ColRemote, fax.RemoteID());
    putText(FaxListText::ColCompany, fax.ToCompany());
    putText(FaxListText::ColFaxNumber, fax.DestFax());
    putText(FaxListText::ColDate, texts.date(fax.DateFax()));
    putText(FaxListText::ColPages, texts.pages(fax.PageSent()));
    putText(FaxListText::ColSubject, fax.Subject());
    putText(FaxListText::ColDateOrder, dateOrder);
    m_pages = fax.PageSent();
    m_date = dateKeyOf(dateOrder);
    setIconName(iconName, icon);
    // Unread faxes stand out, except in the sent list where nothing is read.
    setBold(activeList != 2 && !fax.Read());
}

void FaxListItem::putText(int column, const QString &text)
{
    m_text[size_t(column)] = text;
    m_texts |= quint16(1u << column);
    if (mirrored())
        QTreeWidgetItem::setData(column, Qt::DisplayRole, text);
}

void FaxListItem::setIconName(const QString &name, const QIcon &icon)
{
    m_iconName = name;
    m_icon = icon;
    m_hasIcon = true;
    if (mirrored())
        QTreeWidgetItem::setData(0, Qt::DecorationRole, QVariant::fromValue(icon));
}

void FaxListItem::setBold(bool bold)
{
    if (bold == m_bold)
        return;
    m_bold = bold;
    if (!mirrored())
        return;
    if (bold) {
        QFont f;
        f.setBold(true);
        for (int c = 0; c < 9; ++c)
            QTreeWidgetItem::setData(c, Qt::FontRole, QVariant::fromValue(f));
    } else {
        for (int c = 0; c < 9; ++c)
            QTreeWidgetItem::setData(c, Qt::FontRole, QVariant());
    }
}

void FaxListItem::setColumnText(int column, const QString &text)
{
    if (column == FaxListText::ColPages)
        m_pages = text.toInt();
    setText(column, text);
}

QVariant FaxListItem::data(int column, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (ownColumn(column) && (m_texts & (1u << column)))
            return m_text[size_t(column)];
        break;
    case Qt::FontRole:
        if (m_bold && column >= 0 && column < 9) {
            QFont f;
            f.setBold(true);
            return QVariant::fromValue(f);
        }
        break;
    case Qt::DecorationRole:
        if (column == 0 && m_hasIcon)
            return QVariant::fromValue(m_icon);
        break;
    default:
        break;
    }
    return QTreeWidgetItem::data(column, role);
}

void FaxListItem::setData(int column, int role, const QVariant &value)
{
    if (ownColumn(column) && (role == Qt::DisplayRole || role == Qt::EditRole)) {
        if (value.metaType() == QMetaType::fromType<QString>()) {
            putText(column, value.toString());
            return;
        }
        // Anything but a text is the item's own to keep and show.
        m_texts &= quint16(~(1u << column));
    } else if (column == 0 && role == Qt::DecorationRole) {
        m_hasIcon = false;
    }
    QTreeWidgetItem::setData(column, role, value);
}

QString FaxListItem::sortText(int column) const
{
    if (column == FaxListText::ColIcon)
        return m_iconName;
    return text(column).toCaseFolded();
}

int FaxListItem::sortColumnFor(int column)
{
    return column == FaxListText::ColDate ? int(FaxListText::ColDateOrder) : column;
}

bool FaxListItem::needsRank(int column)
{
    column = sortColumnFor(column);
    return column >= 0 && column < FaxListText::ColDateOrder && column != FaxListText::ColPages;
}

void FaxListItem::rankColumn(QTreeWidget *list, int column)
{
    column = sortColumnFor(column);
    if (!needsRank(column))
        return;
    // Equal texts are frequent (states, companies, numbers): only the distinct ones are sorted.
    const int n = list->topLevelItemCount();
    QHash<QString, int> index;
    QList<QString> distinct;
    std::vector<int> slot(size_t(n), 0);
    for (int i = 0; i < n; ++i) {
        auto *item = static_cast<FaxListItem *>(list->topLevelItem(i));
        const QString text = item->sortText(column);
        auto it = index.constFind(text);
        if (it == index.constEnd()) {
            it = index.insert(text, int(distinct.size()));
            distinct.append(text);
        }
        slot[size_t(i)] = it.value();
    }
    std::vector<int> order(size_t(distinct.size()));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return distinct.at(a) < distinct.at(b); });
    std::vector<int> rank(order.size());
    for (size_t r = 0; r < order.size(); ++r)
        rank[size_t(order[r])] = int(r);
    for (int i = 0; i < n; ++i)
        static_cast<FaxListItem *>(list->topLevelItem(i))->m_rank[size_t(column)] =
            rank[size_t(slot[size_t(i)])];
}

void FaxListItem::sortByDateKey(QList<QTreeWidgetItem *> &rows, Qt::SortOrder order)
{
    const auto key = [](const QTreeWidgetItem *row) { return static_cast<const FaxListItem *>(row)->m_date; };
    if (order == Qt::AscendingOrder)
        std::stable_sort(rows.begin(), rows.end(), [&](auto *a, auto *b) { return key(a) < key(b); });
    else
        std::stable_sort(rows.begin(), rows.end(), [&](auto *a, auto *b) { return key(b) < key(a); });
}

bool FaxListItem::inOrder(const QTreeWidget *list, Qt::SortOrder order)
{
    const int n = list->topLevelItemCount();
    for (int i = 1; i < n; ++i) {
        const QTreeWidgetItem *before = list->topLevelItem(i - 1);
        const QTreeWidgetItem *after = list->topLevelItem(i);
        if (before->childCount() > 0 || (order == Qt::AscendingOrder ? *after < *before : *before < *after))
            return false;
    }
    return n == 0 || list->topLevelItem(n - 1)->childCount() == 0;
}

bool FaxListItem::operator<(const QTreeWidgetItem &other) const
{
    if (other.type() != Type)
        return QTreeWidgetItem::operator<(other);
    const auto &o = static_cast<const FaxListItem &>(other);
    const int column = s_sortColumn;
    if (column == FaxListText::ColPages)
        return m_pages < o.m_pages;
    if (column == FaxListText::ColDateOrder)
        return m_date < o.m_date;
    if (column < 0 || column > 8)
        return false;
    return m_rank[size_t(column)] < o.m_rank[size_t(column)];
}
