#pragma once

#include <QString>
#include <QTreeWidgetItem>

#include <array>

class FaxItem;
class QIcon;

// One row of ListFax, keyed by the fax's IdFax. Sorting reads keys kept beside the texts (shared with
// them, so they cost no copy): the date column sorts by the hidden sort key, the pages numerically,
// every other column as text without regard to case.
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
    // Changes one column's text and its sort key.
    void setColumnText(int column, const QString &text);

    bool operator<(const QTreeWidgetItem &other) const override;

private:
    QString m_key;
    QString m_iconName;
    std::array<QString, 9> m_texts; // columns 0..8 as shown
    int m_pages = 0;
    bool m_bold = false;
};
