#pragma once

#include "Collection.h"
#include "ParseError.h"

#include <QByteArrayView>
#include <QString>

#include <memory>

// One user or group a fax can be forwarded to.
class ItemFrmForward
{
public:
    void setIdItem(const QString &v) { m_IdItem = v; }
    QString IdItem() const { return m_IdItem; }
    QString KeyFax() const { return m_KeyFax; }
    void setKeyFax(const QString &v) { m_KeyFax = v; } // control only
    void setCode(const QString &v) { m_Code = v; }
    QString Code() const { return m_Code; }
    void setName(const QString &v) { m_Name = v; }
    QString Name() const { return m_Name; }
    void setIsChecked(bool v) { m_IsChecked = v; }
    bool IsChecked() const { return m_IsChecked; }
    void setMail(const QString &v) { m_Mail = v; }
    QString Mail() const { return m_Mail; }
    void setOnlyMsg(bool v) { m_OnlyMsg = v; }
    bool OnlyMsg() const { return m_OnlyMsg; }
    void setGroupComponents(const QString &v) { m_GroupComponents = v; }
    QString GroupComponents() const { return m_GroupComponents; }

private:
    QString m_IdItem, m_KeyFax, m_Code, m_Name;
    bool m_IsChecked = false;
    QString m_Mail;
    bool m_OnlyMsg = false;
    QString m_GroupComponents;
};

// The users or the groups of a forward form.
class ListItemFrmForward : public Collection<ItemFrmForward>
{
public:
    using Collection<ItemFrmForward>::Item;
    ItemFrmForward *ItemKey(const QString &key) const { return Item(key); }

    // "<#>" + IdItem of every ticked item, in list order; "" when none is ticked.
    QString checkedIds() const;
};

namespace Proto {

// A forward form answer ("FRM_INOLTRO_USR" when users, else "FRM_INOLTRO_GRP").
// Null on failure: a record with too few pieces (8 users, 7 groups) or two items with one IdItem;
// the error goes to the sink with the source "FrmForward : " + record.
std::unique_ptr<ListItemFrmForward> parseFrmForward(QByteArrayView data, bool users,
                                                    const ErrorSink &onError);

} // namespace Proto
