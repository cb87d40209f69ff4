#pragma once

#include <QString>

class QWidget;

// What the server search works on: the control's server and port, and the library's search values.
struct FindServerContext
{
    QString SockServer;
    qint32 SockPort = 9456;
    QString UserName;      // sent with each probe; empty before the first Connect
    int TimeSearch = 1500; // TimeSearchServersAvailable
    QWidget *parent = nullptr;
};

// Finds a fax server: probes the server given (or every candidate), lets the user pick among several,
// and falls back on the settings window, asking first. True with ctx.SockServer and ctx.SockPort set;
// false when the user gave up. Port -1 or 0 means the default link port.
bool FindServer(FindServerContext &ctx, const QString &pSockServer = QString(), qint32 pSockPort = -1);

// One search (server empty: every candidate). True when exactly one server answered; it becomes
// ctx.SockServer.
bool LookForServer(FindServerContext &ctx, const QString &server, qint32 port);
