#include "LiveSettings.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "Processes.h"
#include "ProfileFile.h"
#include "StringTable.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace QuorinLive {

Values G;

namespace {

constexpr int MaxText = 255;
constexpr int CommLength = 15; // /proc/<pid>/comm keeps this many characters

QString readText(const QString &key)
{
    if (ConfigIni.IniPath.isEmpty())
        LocateIniFile();
    return ProfileFile::readString(ConfigIni.IniPath, QString::fromUtf16(ConfigSection), key).left(MaxText);
}

// A process that has ended but was not reaped yet keeps its name: it is no running program.
bool isZombie(qint64 pid)
{
    QFile stat(u"/proc/"_s + QString::number(pid) + u"/stat"_s);
    if (!stat.open(QIODevice::ReadOnly))
        return true; // gone meanwhile
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.size() <= close + 2 || line.at(close + 2) == 'Z' || line.at(close + 2) == 'X';
}

} // namespace

void LoadStatusTexts()
{
    StringTable::addStrings({
        {Text::QuorinNotFound, u"Attenzione!! File Quorin.exe non trovato."_s},
        {Text::CannotLaunch, u"Impossibile lanciare programma."_s},
        {Text::Connecting, u"Connessione in corso..."_s},
        {Text::ConnectedTo, u"Connesso al server: "_s},
        {Text::NewFaxes, u"Ricevuti nuovi fax"_s},
        {Text::CannotConnect, u"Impossibile connettersi al server: "_s},
        {Text::ServerPrefix, u"Server: "_s},
        {Text::NotAvailable, u" non disponibile."_s},
    });
}

bool ReadServerSettings(QString &message)
{
    G.CurrentServer = readText(u"Server"_s);
    if (ConfigIni.IniPath.isEmpty())
        LocateIniFile();
    G.CurrentPort = ProfileFile::readInt(ConfigIni.IniPath, QString::fromUtf16(ConfigSection), u"Port"_s, 0);
    // A port the link would refuse counts as unset: the start would otherwise wait for nothing.
    if (!G.CurrentServer.isEmpty() && G.CurrentPort > 0 && G.CurrentPort <= 65535)
        return true;
    message = u"Parametri server non impostati o non corretti."_s;
    return false;
}

void ReadDisplaySettings()
{
    G.SendStatusHidden = readText(u"NoFormInvio"_s);
    G.ShowNewFaxMessage = IsSettingOn(readText(u"VisualizzaMsgFaxRx"_s));
}

bool IsClientRunning(const QString &name)
{
    const qint64 self = QCoreApplication::applicationPid();
    const uint user = ::geteuid();
    const QList<Processes::Entry> all = Processes::list();
    for (const Processes::Entry &e : all) {
        if (e.pid == self)
            continue;
        const bool named = e.exeName.compare(name, Qt::CaseInsensitive) == 0 ||
                           e.comm.compare(name.left(CommLength), Qt::CaseInsensitive) == 0;
        if (named && QFileInfo(u"/proc/"_s + QString::number(e.pid)).ownerId() == user && !isZombie(e.pid))
            return true;
    }
    return false;
}

} // namespace QuorinLive
