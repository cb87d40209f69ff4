#pragma once

#include "Collection.h"
#include "ParseError.h"

#include <QByteArrayView>
#include <QString>

#include <memory>

// One folder of the user's tree.
class NodeItem
{
public:
    void setDescription(const QString &v) { m_Description = v; }
    QString Description() const { return m_Description; }
    void setIsShared(bool v) { m_IsShared = v; }
    bool IsShared() const { return m_IsShared; }
    void setChildren(int v) { m_Children = v; }
    int Children() const { return m_Children; }
    void setParent(int v) { m_Parent = v; }
    int Parent() const { return m_Parent; }

private:
    QString m_Description;
    bool m_IsShared = false;
    int m_Children = 0;
    int m_Parent = 0;
};

// The folder tree of the last tree answer.
class collNodeItem : public Collection<NodeItem>
{
public:
    // Creates the node and adds it under sKey (none when empty). Null when the key is taken.
    NodeItem *Add(int Parent, int Children, const QString &Description, bool IsShared,
                  const QString &sKey = {});
};

namespace Proto {

// A tree answer: groups of four pieces split at "<#>" (parent, second number, description, shared "V").
// Two pieces or fewer give an empty tree. A group cut short or a second number that does not convert
// ends the parse with an error (source "ChildrenRs"); the control shows it in the error box with
// the procedure "ChildrenRs". The folders read before stay.
std::unique_ptr<collNodeItem> ChildrenRs(QByteArrayView data, const ErrorSink &onError);

} // namespace Proto
