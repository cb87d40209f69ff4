#pragma once

#include <QString>

struct ErrorInfo;

namespace Sendora {

// The program-wide values of the print-to-fax sender. The sender keys shared with the fax client
// (Name, Company, Fax, Voice, Resolution, AbilitaMail, RubricaCondivisa, FieldRubrica, NoFormInvio,
// TrayIconTX, Log) live in the core's ConfigIni record, so the shared windows see them too.
struct Globals
{
    bool InstallMode = true;
    bool HiddenMode = false;
    QString XmlJobFile;
    QString CurrentServer;
    int CurrentPort = 0;
    QString CapturedJobFile;

    // Kept as text: a value that is not a number is an error of the send, not of the start.
    QString Retries = QStringLiteral("1");
    QString DelayRetries = QStringLiteral("300");
    QString SalvaRicevuti;
    QString RubricaCondivisa = QStringLiteral("False");
};

extern Globals G;

// The bounds of a run that ends by itself (a hidden run): it never asks and never loops. Tests shorten
// them all alike through QUORIN_TEST_TIME_DIVISOR (a whole number above 1).
struct RunBounds
{
    int startMs = 30000;     // from the start to the exit of a run no server logged in, whatever the server does
    int loginMs = 20000;     // a connected server's answer to the login, from the first connection it took
    int loginCloseMs = 2000; // the close of a link that carried only the login (inside startMs)
    int closeMs = 30000;     // the close that confirms delivery
    int watchdogMs = 3000;   // between connection attempts (three of them)
    int stallMs = 60000;     // an upload the server takes no byte of is given up
};
RunBounds runBounds();

// Settings folder with a trailing "/".
QString ProgramFolder();
// ProgramFolder() + "Darezi.ini"; also sets the core's ConfigIni.IniPath. No machine copy is taken.
QString ConfigIniPath();

// Reads the sender's keys of [Config] in their fixed order, with their defaults.
void LoadConfig();

// Reads Name, Company, Fax, Voice, Retries and DelayRetries again (a non-empty value replaces the setting),
// and Resolution; the send window does this when it loads.
void ReloadSenderKeys();

// The box text of the error exit: "...Sorgente: " + procName + "-" + source.
QString ReportErrorText(const QString &procName, const ErrorInfo &error);

// The common error exit: nothing when no error is pending; otherwise the default pointer, a beep, the
// critical box, and "Error: " + the text into "QuorinSrvLog.txt" (the log stays pointed there). The error
// stays pending.
void ReportError(const QString &procName);

// A whole number in the signed 16-bit range, blanks at both ends allowed.
bool ToInteger16(const QString &text, qint16 &value);

} // namespace Sendora
