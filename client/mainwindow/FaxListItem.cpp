#include "FaxListItem.h"

#include "FaxItem.h"
#include "FaxListText.h"

#include <QFont>
#include <QIcon>
#include <QTreeWidget>

FaxListItem::FaxListItem() : QTreeWidgetItem(Type) {}

void FaxListItem::fill(const FaxItem &fax, int activeList, const QIcon &icon, const QString &iconName)
{
    m_key = fax.IdFax();
    const QStringList texts = FaxListText::RowTexts(fax, activeList);
    for (int c = 1; c <= 8; ++c) {
        m_texts[size_t(c)] = texts.at(c - 1);
        setText(c, m_texts[size_t(c)]);
    }
    m_pages = fax.PageSent();
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
    if (column >= 0 && column <= 8)
        m_texts[size_t(column)] = text;
    if (column == FaxListText::ColPages)
        m_pages = text.toInt();
    setText(column, text);
}

bool FaxListItem::operator<(const QTreeWidgetItem &other) const
{
    if (other.type() != Type)
        return QTreeWidgetItem::operator<(other);
    const auto &o = static_cast<const FaxListItem &>(other);
    int column = treeWidget() ? treeWidget()->sortColumn() : FaxListText::ColDateOrder;
    if (column == FaxListText::ColDate)
        column = FaxListText::ColDateOrder;
    if (column == FaxListText::ColPages)
        return m_pages < o.m_pages;
    if (column == FaxListText::ColDateOrder)
        return m_texts[8] < o.m_texts[8];
    if (column == FaxListText::ColIcon)
        return m_iconName < o.m_iconName;
    if (column < 0 || column > 8)
        return false;
    return QString::compare(m_texts[size_t(column)], o.m_texts[size_t(column)], Qt::CaseInsensitive) < 0;
}
