#pragma once

// The sample mailbox behind a fake server for the main window's tests, with the login answer and other
// frames open to change.
#include "AppPaths.h"
#include "FakeFaxServer.h"
#include "QuorinSock.h"
#include "SampleMailbox.h"
#include "StartupMain.h"
#include "frmMain.h"

#include <QFile>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <QTreeWidget>

#include <functional>

struct Server
{
    using F = FakeFaxServer;
    FakeFaxServer fake;
    SampleMailbox mailbox;
    QString rights = QStringLiteral("<#>T<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"); // after the user name
    bool maxUsers = false;
    std::function<bool(FakeFaxServer &, const F::Frame &)> extra; // true: frame handled
    // Image requests (FILE queries) go to answer instead of the mailbox.
    void answerImages(std::function<void(FakeFaxServer &, const F::Frame &)> answer)
    {
        extra = [answer = std::move(answer)](FakeFaxServer &s, const F::Frame &f) {
            if (f.keyword != "FILE" || f.answer)
                return false;
            answer(s, f);
            return true;
        };
    }
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

const int LoginTimeout = TestWait::bound();

// A list answer of n faxes keyed prefix + (100000 + i), newest first, the picture of row i given by
// the server's code icon(i) ("4" user, "8" none), every other one unread, with long numbers and
// three-digit page counts.
inline QByteArray manyFaxes(int n, const std::function<QString(int)> &icon, char prefix = 'P')
{
    using F = FakeFaxServer;
    QByteArray out = QByteArray::number(n) + F::RecordSep;
    out.reserve(qsizetype(n) * 120);
    for (int i = 0; i < n; ++i) {
        const QByteArray fields[] = {prefix + QByteArray::number(100000 + i),
                                     "1",
                                     icon(i).toUtf8(),
                                     "+39 02 " + QByteArray::number(55500000 + i),
                                     "Azienda " + QByteArray::number(i % 977),
                                     "+39 02 " + QByteArray::number(55510000 + i),
                                     QByteArray::number(9000000 - i),
                                     QByteArray::number(100 + i % 101),
                                     "Oggetto " + QByteArray::number(i),
                                     i % 2 ? "V" : "F"};
        for (const QByteArray &f : fields)
            out += F::ListSep + f;
        out += F::RecordSep;
    }
    return out;
}

// "Darezi.ini" naming the server, as the user's settings would.
inline bool writeServerIni(const QString &server, int port)
{
    QFile file(AppPaths::settingsDir() + QStringLiteral("/Darezi.ini"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("[Config]\r\nServer=" + server.toUtf8() + "\r\nPort= " + QByteArray::number(port) + "\r\n");
    return true;
}

// Runs the start-up and waits for the main window holding its first list; null when it never comes.
inline frmMain *runToFirstList(StartupMain &startup)
{
    QSignalSpy finished(&startup, &StartupMain::finished);
    startup.Main();
    if (!TestWait::forSignal(finished))
        return nullptr;
    frmMain *w = startup.mainWindow();
    if (startup.outcome() != StartupMain::Outcome::Running || !w)
        return nullptr;
    if (!QTest::qWaitFor([w] { return w->ListFax->isEnabled() && w->ListFax->topLevelItemCount() > 0; },
                         LoginTimeout))
        return nullptr;
    return w;
}

// Clicks a folder of the tree as the user would, opening its parents first.
inline void clickTreeNode(frmMain *w, const QString &key)
{
    QTreeWidgetItem *node = w->tree().node(key);
    QVERIFY2(node, qPrintable(key));
    for (QTreeWidgetItem *p = node->parent(); p; p = p->parent())
        p->setExpanded(true);
    w->TVNodi->scrollToItem(node);
    const QRect r = w->TVNodi->visualItemRect(node);
    QTest::mouseClick(w->TVNodi->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 8, r.center().y()));
}
