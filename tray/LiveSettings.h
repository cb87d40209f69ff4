#pragma once

#include <QString>

// The tray launcher's program-wide values and its reading of "Darezi.ini" (section "Config", shared with
// the fax client: ConfigIni.IniPath of the client core).
namespace QuorinLive {

struct Values
{
    QString CurrentServer;
    int CurrentPort = 0;
    QString StatusText;             // last status given to the icon's tip
    bool ShowNewFaxMessage = false; // "VisualizzaMsgFaxRx" on
    QString SendStatusHidden;       // "NoFormInvio" as read
};

extern Values G;

// Status texts of the string table.
namespace Text {
inline constexpr int QuorinNotFound = 9000;
inline constexpr int CannotLaunch = 9001;
inline constexpr int Connecting = 9002;
inline constexpr int ConnectedTo = 9003;
inline constexpr int NewFaxes = 9004;
inline constexpr int CannotConnect = 9005;
inline constexpr int ServerPrefix = 9006;
inline constexpr int NotAvailable = 9007;
} // namespace Text

// Adds the tray launcher's own texts (9000 to 9007) to the string table.
void LoadStatusTexts();

// Reads "Server" (at most 255 characters) and "Port" into CurrentServer and CurrentPort. True when the
// server is not empty and the port is a usable one (1 to 65535); otherwise message is set.
bool ReadServerSettings(QString &message);

// Reads "NoFormInvio" and "VisualizzaMsgFaxRx".
void ReadDisplaySettings();

// True when a program of that name runs for this user (its file name, or its short name, equal to name
// without regard to case). The launcher's own process never counts.
bool IsClientRunning(const QString &name);

} // namespace QuorinLive
