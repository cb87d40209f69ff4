#include "ConfigIni.h"

#include "AppPaths.h"
#include "ErrorReporting.h"
#include "ProfileFile.h"
#include "SystemUtils.h"
#include "clsLog.h"

#include <QFile>

ConfigIniRecord ConfigIni;

namespace {

constexpr int kPathAccessError = 75;

QString section()
{
    return QString::fromUtf16(ConfigSection);
}

QString iniPath()
{
    if (ConfigIni.IniPath.isEmpty())
        LocateIniFile();
    return ConfigIni.IniPath;
}

QString readText(const QString &key, const QString &defaultValue = {})
{
    return ProfileFile::readString(iniPath(), section(), key, defaultValue);
}

int readInt(const QString &key, int defaultValue)
{
    return ProfileFile::readInt(iniPath(), section(), key, defaultValue);
}

qint16 toInt16(int value)
{
    return qint16(std::clamp(value, -32768, 32767));
}

// A count typed by the user: a whole number in the signed 16-bit range. Anything else takes the key's
// default, and the log says so; the other keys are still read.
qint16 readCount(const QString &key, qint16 defaultValue)
{
    const QString text = readText(key, QString::number(defaultValue));
    bool ok = false;
    const qint16 value = text.toShort(&ok);
    if (ok)
        return value;
    AppLog().WriteLog(u"Valore non valido per " + key + u": \"" + text + u"\", uso " +
                      QString::number(defaultValue));
    return defaultValue;
}

} // namespace

bool IsSettingOn(const QString &text)
{
    const QString t = text.toUpper();
    return t == u"S" || t == u"Y";
}

QString LocateIniFile()
{
    ConfigIni.IniPath = AddPathSeparator(AppPaths::settingsDir()) + u"Darezi.ini";
    if (!FileExists(ConfigIni.IniPath)) {
        const QString machineCopy = AddPathSeparator(AppPaths::machineConfigDir()) + u"Darezi.ini";
        if (FileExists(machineCopy) && QFile::copy(machineCopy, ConfigIni.IniPath)) {
            // The machine copy may be read-only; ours must take the programs' writes.
            QFile::setPermissions(ConfigIni.IniPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                         QFileDevice::ReadGroup | QFileDevice::ReadOther);
        }
    }
    return ConfigIni.IniPath;
}

void ApplyLogSetting(bool on)
{
    if (!on) {
        AppLog().setLogActive(false);
        return;
    }
    ConfigIni.LogPath = AddPathSeparator(AppPaths::settingsDir()) + u"QuorinLog.txt";
    AppLog().setFileName(ConfigIni.LogPath);
    AppLog().OpenLog();
    AppLog().WriteLine();
    AppLog().setLogActive(true);
}

bool ReadServerSettings(QString &message)
{
    ConfigIni.Server = readText(QStringLiteral("Server"));
    ConfigIni.Port = readInt(QStringLiteral("Port"), 0);
    ApplyLogSetting(IsSettingOn(readText(QStringLiteral("Log"))));
    if (!ConfigIni.Server.isEmpty() && ConfigIni.Port != 0)
        return true;
    message = QStringLiteral("Parametri server non impostati o non corretti, modificare?");
    return false;
}

void LoadConfig()
{
    QString filter;
    for (const char16_t *piece :
         {u"ZuvUvu Files", u"*.fmf;*.fmp", u"Image Files", u"*.bmp;*.tif;*.dcx", u"Text Files", u"*.txt"})
        filter += QString::fromUtf16(piece) + QChar(0);
    ConfigIni.FileFilter = filter + QChar(0);

    ConfigIni.FaxBanner = readText(QStringLiteral("FaxBanner"));
    ConfigIni.File = readText(QStringLiteral("File"));
    ConfigIni.FaxCover = readText(QStringLiteral("FaxCover"));
    ConfigIni.Name = readText(QStringLiteral("Name"));
    ConfigIni.Company = readText(QStringLiteral("Company"));
    ConfigIni.Fax = readText(QStringLiteral("Fax"));
    ConfigIni.Voice = readText(QStringLiteral("Voice"));
    ConfigIni.Retries = readCount(QStringLiteral("Retries"), 1);
    ConfigIni.DelayRetries = readCount(QStringLiteral("DelayRetries"), 300);
    ConfigIni.Log = readText(QStringLiteral("Log"), QStringLiteral("False"));
    ConfigIni.Resolution = toInt16(readInt(QStringLiteral("Resolution"), 1));
    ConfigIni.AbilitaMail = toInt16(readInt(QStringLiteral("AbilitaMail"), 0));
    ConfigIni.RubricaCondivisa = IsSettingOn(readText(QStringLiteral("RubricaCondivisa")));
    ConfigIni.ChiediRisoluzione = IsSettingOn(readText(QStringLiteral("ChiediRisoluzione")));
    ConfigIni.VisualizzaMsgFaxRx = IsSettingOn(readText(QStringLiteral("VisualizzaMsgFaxRx")));
    ConfigIni.ShowRubrica = readInt(QStringLiteral("ShowRubrica"), 0) == 1;
    ConfigIni.FieldRubrica = readInt(QStringLiteral("FieldRubrica"), 2);
    ConfigIni.Auto = readText(QStringLiteral("Auto"), QStringLiteral("00"));
    ConfigIni.ToEmail = readText(QStringLiteral("ToEmail"));
    ConfigIni.Live = readText(QStringLiteral("Live"));
    if (IsSettingOn(ConfigIni.Live))
        EnableLiveAutostart();
    else
        DisableLiveAutostart();
    ConfigIni.NoFormInvio = readText(QStringLiteral("NoFormInvio"));
    ConfigIni.TrayIconTX = readText(QStringLiteral("TrayIconTX"));
}

QString ConfigIniFile()
{
    return iniPath();
}

bool WriteConfigKey(const QString &key, const QString &value)
{
    if (ProfileFile::writeString(iniPath(), section(), key, value))
        return true;
    ShowErrorMessage(kPathAccessError,
                     u"Impossibile scrivere " + key + u" in " + ConfigIni.IniPath + u": " +
                         ProfileFile::lastWriteFailure() + u'.',
                     QStringLiteral("WriteConfigKey"));
    return false;
}

bool WriteConfigFlag(const QString &key, bool on)
{
    return WriteConfigKey(key, on ? QStringLiteral("Y") : QString());
}

bool WriteConfigBit(const QString &key, bool on)
{
    return WriteConfigKey(key, on ? QStringLiteral("1") : QStringLiteral("0"));
}

bool WriteServerSettings(const QString &server, int port)
{
    const bool serverWritten = WriteConfigKey(QStringLiteral("Server"), server);
    return WriteConfigKey(QStringLiteral("Port"), u' ' + QString::number(port)) && serverWritten;
}

QString ReadConfigKey(const QString &key, const QString &defaultValue)
{
    return readText(key, defaultValue);
}
