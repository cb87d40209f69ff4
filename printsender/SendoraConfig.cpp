#include "SendoraConfig.h"

#include "AppPaths.h"
#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "ProfileFile.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "SystemUtils.h"
#include "clsLog.h"

#include <QApplication>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

namespace Sendora {

Globals G;

namespace {

QString readText(const QString &key, const QString &defaultValue = {})
{
    return ProfileFile::readString(ConfigIniPath(), QString::fromUtf16(ConfigSection), key, defaultValue);
}

int readInt(const QString &key, int defaultValue)
{
    return ProfileFile::readInt(ConfigIniPath(), QString::fromUtf16(ConfigSection), key, defaultValue);
}

// The profile reader's buffer holds 254 characters.
QString clipped(const QString &text)
{
    return text.left(254);
}

} // namespace

QString ProgramFolder()
{
    return AddPathSeparator(AppPaths::settingsDir());
}

QString ConfigIniPath()
{
    ConfigIni.IniPath = ProgramFolder() + u"Darezi.ini"_s;
    return ConfigIni.IniPath;
}

void LoadConfig()
{
    ConfigIni.Name = clipped(readText(u"Name"_s));
    ConfigIni.Company = clipped(readText(u"Company"_s));
    ConfigIni.Fax = clipped(readText(u"Fax"_s));
    ConfigIni.Voice = clipped(readText(u"Voice"_s));
    G.Retries = clipped(readText(u"Retries"_s, u"1"_s));
    G.DelayRetries = clipped(readText(u"DelayRetries"_s, u"300"_s));
    ConfigIni.Log = clipped(readText(u"Log"_s));
    G.SalvaRicevuti = clipped(readText(u"SalvaRicevuti"_s));
    ConfigIni.Resolution = qint16(readInt(u"Resolution"_s, 1));
    ConfigIni.AbilitaMail = qint16(readInt(u"AbilitaMail"_s, 0));
    G.RubricaCondivisa = clipped(readText(u"RubricaCondivisa"_s, u"False"_s));
    ConfigIni.RubricaCondivisa = IsSettingOn(G.RubricaCondivisa);
    ConfigIni.FieldRubrica = readInt(u"FieldRubrica"_s, 2);
    ConfigIni.NoFormInvio = clipped(readText(u"NoFormInvio"_s));
    ConfigIni.TrayIconTX = clipped(readText(u"TrayIconTX"_s));
    // The shared windows read these from the record.
    qint16 n = 0;
    ConfigIni.Retries = ToInteger16(G.Retries, n) ? n : 1;
    ConfigIni.DelayRetries = ToInteger16(G.DelayRetries, n) ? n : 300;
}

void ReloadSenderKeys()
{
    auto take = [](const QString &key, QString &setting, const QString &defaultValue) {
        const QString v = clipped(readText(key, defaultValue)).trimmed();
        if (!v.isEmpty())
            setting = v;
    };
    take(u"Name"_s, ConfigIni.Name, {});
    take(u"Company"_s, ConfigIni.Company, {});
    take(u"Fax"_s, ConfigIni.Fax, {});
    take(u"Voice"_s, ConfigIni.Voice, {});
    take(u"Retries"_s, G.Retries, u"1"_s);
    take(u"DelayRetries"_s, G.DelayRetries, u"300"_s);
    ConfigIni.Resolution = qint16(readInt(u"Resolution"_s, 1));
}

QString ReportErrorText(const QString &procName, const ErrorInfo &error)
{
    return u"Si è verificato il seguente errore:\r\n\r\n"_s + error.Description + u"\r\n\r\nNumero: "_s +
           QString::number(error.Number) + u"\r\nSorgente: "_s + procName + u"-"_s + error.Source;
}

void ReportError(const QString &procName)
{
    const ErrorInfo error = Err();
    if (error.Number == 0)
        return;
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    const QString text = ReportErrorText(procName, error);
    QApplication::beep();
    Prompt::message(nullptr, QMessageBox::Critical, ProgramTitle(), text);
    // The log opens the file for each line itself: opening it here as well would leave it held open
    // while logging is off, and the next error would meet "Log gia aperto".
    AppLog().CloseLog();
    AppLog().setFileName(ProgramFolder() + u"QuorinSrvLog.txt"_s);
    if (AppLog().LogActive())
        AppLog().WriteLog(u"Error: "_s + text);
}

bool ToInteger16(const QString &text, qint16 &value)
{
    bool ok = false;
    const short v = text.trimmed().toShort(&ok);
    if (ok)
        value = v;
    return ok;
}

RunBounds runBounds()
{
    RunBounds b;
    bool ok = false;
    const int divisor = qEnvironmentVariableIntValue("QUORIN_TEST_TIME_DIVISOR", &ok);
    if (ok && divisor > 1) {
        b.startMs /= divisor;
        b.loginMs /= divisor;
        b.loginCloseMs /= divisor;
        b.stallMs /= divisor;
        b.closeMs /= divisor;
        b.watchdogMs /= divisor;
    }
    return b;
}

} // namespace Sendora
