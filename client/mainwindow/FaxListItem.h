#pragma once

#include <QString>
#include <QTreeWidgetItem>

#include <array>

class FaxItem;
class QIcon;
class QTreeWidget;

// One row of ListFax, keyed by the fax's IdFax. Sorting compares whole numbers: the pages as they are,
// every other column by its rank among the list's texts (made once per column by rankColumn, without
// regard to case); the date column sorts by the hidden sort key.
class FaxListItem : public QTreeWidgetItem
{
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 1;

    FaxListItem();

    QString key() const { return m_key; }
    // Writes the columns, the bold state and the icon of the fax into the row.
    void fill(const FaxItem &fax, int activeList, const QIcon &icon, const QString &iconName);
    QString iconName() const { return m_iconName; }
    void setIconName(const QString &name, const QIcon &icon);
    void setBold(bool bold);
    bool isBold() const { return m_bold; }
    // Changes one column's text.
    void setColumnText(int column, const QString &text);

    bool operator<(const QTreeWidgetItem &other) const override;

    // The column the rows of a list sort by (the date column sorts by its hidden key).
    static int sortColumnFor(int column);
    // Gives every row of the list its rank in column (equal texts share a rank). Needed once per column
    // until rows change; the date and the pages need none.
    static void rankColumn(QTreeWidget *list, int column);
    static bool needsRank(int column);
    // The column the next sort compares.
    static void setSortColumn(int column) { s_sortColumn = sortColumnFor(column); }

private:
    QString sortText(int column) const;

    QString m_key;
    QString m_iconName;
    std::array<int, 9> m_rank{};
    int m_pages = 0;
    qint64 m_date = 0; // the hidden sort key as a number
    bool m_bold = false;
    static int s_sortColumn;
};
