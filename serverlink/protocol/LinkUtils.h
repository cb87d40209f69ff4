#pragma once

#include "ParseError.h"

#include <QString>
#include <QStringList>

class QWidget;

// File, path and system helpers of the server-link library. Paths use "/".
namespace LinkUtils {

bool FileExists(const QString &path); // regular, non-hidden file
bool DirExists(const QString &path);  // a folder or a file
// Creates one folder level; non-zero on success (0 when it exists already or cannot be made).
int CreateDir(const QString &path);
// Part after / before the last "/". GetPath of a name without "/" shows the error box and gives "".
QString GetFileName(const QString &path);
QString GetPath(const QString &path);
// The path with a closing "/".
QString AddBS(const QString &path);
// folder/name, or the first free "1_name", "2_name", ...; "" on an error.
QString JoinPath(const QString &name, const QString &folder);
// -1 deleted, 2 no such file, 0 deleting failed.
qint16 KillFile(const QString &path);
// The private temporary folder, ending in "/" (empty when none can be had).
QString GetTempDir();
// Login name of the effective user.
QString GetUser();
void CenterForm(QWidget *form);
// Never the Windows 95 family here.
inline bool GetWinPlatform()
{
    return false;
}

// Text of the library's error box.
QString errorMessageText(int number, const QString &description, const QString &source,
                         const QString &procedure);
// The error box: beep, critical icon, OK, no title of its own. Nothing for error number 0.
void ShowErrorMessage(const ParseError &error, const QString &procedure, QWidget *parent = nullptr);

// Temporary files that resisted deletion, retried by purge().
class PendingDeletions
{
public:
    void add(const QString &path);
    // Deletes each listed file, dropping those now gone, then the received-image file.
    void purge(const QString &receivedImage = {});
    const QStringList &files() const { return m_files; }

private:
    QStringList m_files;
};

} // namespace LinkUtils
