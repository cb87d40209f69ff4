#include "collFaxOut.h"

using namespace Qt::StringLiterals;

faxOut *collFaxOut::Add(std::unique_ptr<faxOut> objNewMember, statusCommand status)
{
    if (!objNewMember)
        return nullptr;
    objNewMember->setStatus(status);
    ++m_last;
    const QString key = u'#' + QString::number(m_last);
    objNewMember->setKeyFax(key);
    faxOut *raw = objNewMember.get();
    return Collection<faxOut>::Add(std::move(objNewMember), key) ? raw : nullptr;
}

collFaxOut &collFaxOut::sendQueue()
{
    static collFaxOut queue;
    return queue;
}
