#pragma once

// The sample mailbox behind a fake server for the main window's tests, with the login answer and other
// frames open to change.
#include "FakeFaxServer.h"
#include "QuorinSock.h"
#include "SampleMailbox.h"

#include <QStringList>

#include <functional>

struct Server
{
    using F = FakeFaxServer;
    FakeFaxServer fake;
    SampleMailbox mailbox;
    QString rights = QStringLiteral("<#>T<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"); // after the user name
    bool maxUsers = false;
    std::function<bool(FakeFaxServer &, const F::Frame &)> extra; // true: frame handled
    QStringList versions = {QuorinSock::LibraryVersion(), QStringLiteral("1.0.0"), QStringLiteral("1.0.0"),
                            QStringLiteral("1.0.0"), QStringLiteral("1.0.0")};

    Server()
    {
        mailbox.attach(&fake);
        const auto inner = fake.responder();
        fake.setResponder([this, inner](FakeFaxServer &s, const F::Frame &f) {
            if (extra && extra(s, f))
                return;
            if (f.keyword == "USER" && f.answer) {
                if (maxUsers) {
                    s.sendNow(F::answer(u"MAXUSERS"));
                    return;
                }
                s.sendNow(F::answer(u"VERSIONI", versions.join(QStringLiteral("<#>"))));
                s.sendNow(F::answer(u"USER", QString(f.text() + rights)));
                return;
            }
            inner(s, f);
        });
        fake.listen();
    }
};
