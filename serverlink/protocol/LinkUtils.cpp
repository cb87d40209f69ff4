#include "LinkUtils.h"

#include "AppPaths.h"
#include "Prompt.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QWidget>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace LinkUtils {

namespace {
const QString LibrarySource = u"QuorinSockX"_s;

void reportInvalidCall(const QString &procedure)
{
    ShowErrorMessage(
        ParseError{ErrorCode::InvalidCall, ErrorCode::description(ErrorCode::InvalidCall), LibrarySource},
        procedure);
}
} // namespace

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo fi(path);
    return fi.isFile() && !fi.isHidden();
}

bool DirExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    return QFileInfo::exists(path);
}

int CreateDir(const QString &path)
{
    if (path.isEmpty())
        return 0;
    return QDir().mkdir(path) ? 1 : 0;
}

QString GetFileName(const QString &path)
{
    const qsizetype at = path.lastIndexOf(u'/');
    return at < 0 ? path : path.mid(at + 1);
}

QString GetPath(const QString &path)
{
    const qsizetype at = path.lastIndexOf(u'/');
    if (at < 0) {
        reportInvalidCall(u"GetPath"_s);
        return {};
    }
    return path.left(at);
}

QString AddBS(const QString &path)
{
    return path.endsWith(u'/') ? path : path + u'/';
}

QString JoinPath(const QString &name, const QString &folder)
{
    if (name.isEmpty())
        return {};
    const QString base = AddBS(folder.trimmed());
    QString candidate = base + name;
    // A name can be taken by a file, a folder or a dangling link alike.
    auto taken = [](const QString &p) {
        const QFileInfo fi(p);
        return fi.exists() || fi.isSymLink();
    };
    for (int i = 1; taken(candidate); ++i) {
        if (i > 100000)
            return {};
        candidate = base + QString::number(i) + u'_' + name;
    }
    return candidate;
}

qint16 KillFile(const QString &path)
{
    const QFileInfo fi(path);
    if (path.isEmpty() || (!fi.exists() && !fi.isSymLink()))
        return 2;
    if (fi.isDir())
        return 0;
    return QFile::remove(path) ? -1 : 0;
}

QString GetTempDir()
{
    return AppPaths::tempDir();
}

QString GetUser()
{
    const passwd *pw = getpwuid(geteuid());
    return pw && pw->pw_name ? QString::fromLocal8Bit(pw->pw_name) : QString();
}

void CenterForm(QWidget *form)
{
    WindowPlacement::centerOnScreen(form);
}

QString errorMessageText(int number, const QString &description, const QString &source,
                         const QString &procedure)
{
    return u"Si è verificato il seguente errore:\n\n"_s + description + u"\n\nNumero: "_s +
           QString::number(number) + u"\nSorgente: "_s + source + u"\nProcedure: "_s + procedure + u'\n';
}

void ShowErrorMessage(const ParseError &error, const QString &procedure, QWidget *parent)
{
    if (error.number == 0)
        return;
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    // Prompt beeps for the critical icon.
    Prompt::critical(parent, QString(),
                     errorMessageText(error.number, error.description, error.source, procedure));
}

void PendingDeletions::add(const QString &path)
{
    if (!path.isEmpty() && !m_files.contains(path))
        m_files.append(path);
}

void PendingDeletions::purge(const QString &receivedImage)
{
    for (qsizetype i = 0; i < m_files.size();) {
        if (KillFile(m_files.at(i)) != 0)
            m_files.removeAt(i);
        else
            ++i;
    }
    if (!receivedImage.isEmpty())
        KillFile(receivedImage);
}

} // namespace LinkUtils
