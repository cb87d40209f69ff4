#include "collFaxOut.h"

using namespace Qt::StringLiterals;

namespace {
// Keys must stay unique across every control of the process: the server files uploads by them.
qint32 g_lastKey = 0;
} // namespace

faxOut *collFaxOut::Add(std::unique_ptr<faxOut> objNewMember, statusCommand status)
{
    if (!objNewMember)
        return nullptr;
    objNewMember->setStatus(status);
    m_last = ++g_lastKey;
    const QString key = u'#' + QString::number(m_last);
    objNewMember->setKeyFax(key);
    faxOut *raw = objNewMember.get();
    return Collection<faxOut>::Add(std::move(objNewMember), key) ? raw : nullptr;
}
