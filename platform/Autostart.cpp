#include "Autostart.h"

#include "WriteFailure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Autostart {

QString entryPath(const QString &name)
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + u"/.config";
    return config + u"/autostart/" + name + u".desktop";
}

QString command(const QString &name)
{
    // Desktop entries keep their quotes (they belong to the command): read the line as it stands.
    QFile file(entryPath(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    bool inEntry = false;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('['))
            inEntry = line == "[Desktop Entry]";
        else if (inEntry && line.startsWith("Exec") && line.mid(4).trimmed().startsWith('='))
            return QString::fromUtf8(line.mid(line.indexOf('=') + 1)).trimmed();
    }
    return {};
}

bool write(const QString &name, const QString &command, const QString &icon)
{
    const QString path = entryPath(name);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    const QString text = u"[Desktop Entry]\n"
                         u"Type=Application\n"
                         u"Name=" +
                         name +
                         u"\n"
                         u"Exec=" +
                         command + u"\n" + (icon.isEmpty() ? QString() : u"Icon=" + icon + u"\n") +
                         u"Terminal=false\n"
                         u"X-GNOME-Autostart-enabled=true\n";
    return WriteFailure::save(path, text.toUtf8(), nullptr);
}

bool remove(const QString &name)
{
    const QString path = entryPath(name);
    return !QFileInfo::exists(path) || QFile::remove(path);
}

} // namespace Autostart
