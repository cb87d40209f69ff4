#include "Registry.h"

#include "AppPaths.h"
#include "ProfileFile.h"

namespace {

QString rootName(quint32 root)
{
    switch (root) {
    case Registry::ClassesRoot:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case Registry::CurrentUser:
        return QStringLiteral("HKEY_CURRENT_USER");
    case Registry::LocalMachine:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case Registry::Users:
        return QStringLiteral("HKEY_USERS");
    default:
        return u"0x" + QString::number(root, 16);
    }
}

QString section(quint32 root, const QString &keyPath)
{
    QString path = keyPath;
    path.replace(u'/', u'\\');
    while (path.endsWith(u'\\'))
        path.chop(1);
    return rootName(root) + u'\\' + path;
}

// Texts are stored percent-encoded so that line ends, blanks at the ends and any character survive.
const QByteArray kKeep = QByteArrayLiteral("/\\:.;,-_()[]{}!$&'*+=@~ ");

} // namespace

namespace Registry {

QString filePath()
{
    return AppPaths::settingsDir() + u"/registry.ini";
}

QVariant value(quint32 root, const QString &keyPath, const QString &valueName)
{
    const QString stored = ProfileFile::readString(filePath(), section(root, keyPath), valueName);
    if (stored.startsWith(u"sz:"))
        return QString::fromUtf8(QByteArray::fromPercentEncoding(stored.mid(3).toLatin1()));
    if (stored.startsWith(u"hex:"))
        return QByteArray::fromHex(stored.mid(4).toLatin1());
    if (stored.startsWith(u"dword:")) {
        bool ok = false;
        const quint32 n = stored.mid(6).toUInt(&ok, 16);
        return ok ? QVariant(n) : QVariant();
    }
    return {};
}

bool setValue(quint32 root, const QString &keyPath, const QString &valueName, const QVariant &data, int type)
{
    QString stored;
    switch (type) {
    case String: {
        QByteArray encoded = data.toString().toUtf8().toPercentEncoding(kKeep);
        // Blanks at either end would be trimmed on reading.
        if (encoded.startsWith(' '))
            encoded.replace(0, 1, "%20");
        if (encoded.endsWith(' '))
            encoded.replace(encoded.size() - 1, 1, "%20");
        stored = u"sz:" + QString::fromLatin1(encoded);
        break;
    }
    case Binary:
        stored = u"hex:" + QString::fromLatin1(data.toByteArray().toHex());
        break;
    case DWord:
        stored = u"dword:" + QString::number(data.toUInt(), 16).rightJustified(8, u'0');
        break;
    default:
        return false;
    }
    return ProfileFile::writeString(filePath(), section(root, keyPath), valueName, stored);
}

bool removeValue(quint32 root, const QString &keyPath, const QString &valueName)
{
    return ProfileFile::removeKey(filePath(), section(root, keyPath), valueName);
}

} // namespace Registry
