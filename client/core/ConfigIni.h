#pragma once

#include <QString>

// The fax client's program-wide settings, one field per key of "Darezi.ini" section "Config".
// Created empty (texts empty, numbers 0, truth values off) and filled by ReadServerSettings and LoadConfig.
struct ConfigIniRecord
{
    // read by ReadServerSettings
    QString Server;
    int Port = 0;
    // read by LoadConfig
    QString Log;       // the text as stored: "Y", "S", empty, ...
    QString FaxBanner; // keys of the print-to-fax sender, read in passing
    QString FaxCover;
    QString File; // "+"-joined documents last listed for sending
    QString Name;
    QString Company;
    QString Fax;
    QString Voice;
    qint16 Retries = 0;
    qint16 DelayRetries = 0;
    qint16 Resolution = 0;
    qint16 AbilitaMail = 0; // nonzero: mail hand-over on
    bool RubricaCondivisa = false;
    bool ChiediRisoluzione = false;
    bool VisualizzaMsgFaxRx = false;
    bool ShowRubrica = false; // on only when the key holds exactly 1
    int FieldRubrica = 0;     // 2 business fax, 3 home fax
    QString Auto;
    QString ToEmail;
    QString Live;        // the text as stored
    QString NoFormInvio; // the text as stored
    QString TrayIconTX;  // the text as stored

    QString IniPath;    // settings folder + "Darezi.ini"
    QString LogPath;    // settings folder + "QuorinLog.txt", set when the log is switched on
    QString FileFilter; // filter of the document open dialog, NUL-separated pairs (see ShowOpenFileDialog)
};

extern ConfigIniRecord ConfigIni;

inline constexpr auto ConfigSection = u"Config";

// "Y" or "S" in any case: on. Anything else (empty, "N", "False", "1") is off.
bool IsSettingOn(const QString &text);

// Sets ConfigIni.IniPath to the settings folder's "Darezi.ini". When that file is missing and the
// machine-wide default exists, copies it there first. Returns the path.
QString LocateIniFile();

// Reads "Server", "Port" and "Log"; switches the log on or off by "Log". False, with message set to the
// text to show, when the server name is empty or the port is 0.
bool ReadServerSettings(QString &message);

// Reads every other key of the fax client in the fixed order, builds FileFilter first, and applies "Live"
// at once (EnableLiveAutostart / DisableLiveAutostart). A "Retries" or "DelayRetries" value that is not a
// number in the signed 16-bit range falls back, for that key alone, to its default and is logged.
void LoadConfig();

// Switches AppLog on with ConfigIni.LogPath (set here to the settings folder's "QuorinLog.txt"), or off.
void ApplyLogSetting(bool on);

// The settings file (ConfigIni.IniPath, located first when not yet known).
QString ConfigIniFile();

// Writers of section "Config" of ConfigIni.IniPath; each goes to the file at once. False when the file
// cannot be written (the error is reported through ShowErrorMessage).
bool WriteConfigKey(const QString &key, const QString &value);
// On/off keys written as "Y" or empty.
bool WriteConfigFlag(const QString &key, bool on);
// "Resolution", "AbilitaMail", "ShowRubrica": "1" or "0".
bool WriteConfigBit(const QString &key, bool on);
// "Server", then "Port" as the number's decimal text with one leading blank (" 9456").
bool WriteServerSettings(const QString &server, int port);

// Any key of section "Config" as text (trimmed), for keys the fax client's record does not hold.
QString ReadConfigKey(const QString &key, const QString &defaultValue = {});
