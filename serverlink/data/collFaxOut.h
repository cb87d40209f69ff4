#pragma once

#include "Collection.h"
#include "faxOut.h"

#include <memory>

// A send queue: faxes being uploaded, keyed "#1", "#2", ... by one process-wide counter that only rises,
// so two controls never hand out the same key.
class collFaxOut : public Collection<faxOut>
{
public:
    // Sets status, gives the next key "#" + counter, queues the fax; returns it (null when refused).
    faxOut *Add(std::unique_ptr<faxOut> objNewMember, statusCommand status = stOK);
    // The number of the last key this queue handed out.
    qint32 Last() const { return m_last; }

private:
    qint32 m_last = 0;
};
