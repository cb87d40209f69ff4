#pragma once

#include <QIcon>
#include <QString>
#include <QTreeWidgetItem>

#include <array>

class FaxItem;
class QTreeWidget;

namespace FaxListText {
class RowTextCache;
}

// One row of ListFax, keyed by the fax's IdFax. Sorting compares whole numbers: the pages as they are,
// every other column by its rank among the list's texts (made once per column by rankColumn, without
// regard to case); the date column sorts by the hidden sort key.
// The texts of columns 1..8, the bold state and the icon are kept in the row itself and given to the view
// through data(): a row costs no list of values per column.
class FaxListItem : public QTreeWidgetItem
{
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 1;

    FaxListItem();

    QString key() const { return m_key; }
    // Writes the columns, the bold state and the icon of the fax into the row.
    void fill(const FaxItem &fax, int activeList, const QIcon &icon, const QString &iconName);
    // The same, with the texts of a whole list's rows made once per distinct value.
    void fill(const FaxItem &fax, FaxListText::RowTextCache &texts, int activeList, const QIcon &icon,
              const QString &iconName);
    QString iconName() const { return m_iconName; }
    void setIconName(const QString &name, const QIcon &icon);
    void setBold(bool bold);
    bool isBold() const { return m_bold; }
    // Changes one column's text.
    void setColumnText(int column, const QString &text);

    QVariant data(int column, int role) const override;
    void setData(int column, int role, const QVariant &value) override;

    bool operator<(const QTreeWidgetItem &other) const override;
    // The hidden sort key as a number (what the date sort compares).
    qint64 dateKey() const { return m_date; }

    // The column the rows of a list sort by (the date column sorts by its hidden key).
    static int sortColumnFor(int column);
    // Gives every row of the list its rank in column (equal texts share a rank). Needed once per column
    // until rows change; the date and the pages need none.
    static void rankColumn(QTreeWidget *list, int column);
    static bool needsRank(int column);
    // Orders rows by their hidden sort key as the list's sort by that column would (equal keys keep
    // their order).
    static void sortByDateKey(QList<QTreeWidgetItem *> &rows, Qt::SortOrder order);
    // Whether the list's rows are in the order a sort by the column set last would give them.
    static bool inOrder(const QTreeWidget *list, Qt::SortOrder order);
    // The column the next sort compares.
    static void setSortColumn(int column) { s_sortColumn = sortColumnFor(column); }

private:
    QString sortText(int column) const;
    static bool ownColumn(int column) { return column >= 1 && column <= 8; }
    // Whether the row's values also go through QTreeWidgetItem's own store, which tells the view: a row in
    // a list, or one that has been (its store must then keep up with the row's own values).
    bool mirrored() const { return treeWidget() != nullptr || columnCount() > 0; }
    void putText(int column, const QString &text);

    QString m_key;
    QString m_iconName;
    std::array<QString, 9> m_text; // columns 1..8; 0 is the icon's
    QIcon m_icon;
    bool m_hasIcon = false;
    quint16 m_texts = 0; // bit per column whose text is m_text's
    std::array<int, 9> m_rank{};
    int m_pages = 0;
    qint64 m_date = 0; // the hidden sort key as a number
    bool m_bold = false;
    static int s_sortColumn;
};
