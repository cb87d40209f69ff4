#pragma once

#include "Collection.h"
#include "faxOut.h"

#include <memory>

// The send queue: faxes being uploaded, keyed "#1", "#2", ... by a counter that only rises.
class collFaxOut : public Collection<faxOut>
{
public:
    // Sets status, gives the next key "#" + counter, queues the fax; returns it (null when refused).
    faxOut *Add(std::unique_ptr<faxOut> objNewMember, statusCommand status = stOK);
    qint32 Last() const { return m_last; }

    // The library's one queue, shared by every control on the thread; never replaced.
    static collFaxOut &sendQueue();

private:
    qint32 m_last = 0;
};
