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
    m_key = fax.IdFax();
    const QStringList texts = FaxListText::RowTexts(fax, activeList);
    for (int c = 1; c <= 8; ++c)
        setText(c, texts.at(c - 1));
    m_pages = fax.PageSent();
    m_date = QStringView(texts.at(7)).trimmed().toLongLong();
    setIconName(iconName, icon);
    // Unread faxes stand out, except in the sent list where nothing is read.
    setBold(activeList != 2 && !fax.Read());
}

void FaxListItem::setIconName(const QString &name, const QIcon &icon)
{
    m_iconName = name;
    setIcon(0, icon);
}

void FaxListItem::setBold(bool bold)
{
    if (bold == m_bold)
        return;
    m_bold = bold;
    const int n = qMax(columnCount(), 9);
    if (bold) {
        QFont f;
        f.setBold(true);
        for (int c = 0; c < n; ++c)
            setFont(c, f);
    } else {
        for (int c = 0; c < n; ++c)
            setData(c, Qt::FontRole, QVariant());
    }
}

void FaxListItem::setColumnText(int column, const QString &text)
{
    if (column == FaxListText::ColPages)
        m_pages = text.toInt();
    setText(column, text);
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
