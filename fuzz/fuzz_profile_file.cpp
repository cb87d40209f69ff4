// Profile files shared with other programs. Reading any file must work; a write must read back and
// leave every other key of the file as it was.
#include "FuzzSupport.h"
#include "ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // In memory where possible: every call goes to the file.
    static QTemporaryDir folder(QDir(QStringLiteral("/dev/shm")).exists()
                                    ? QStringLiteral("/dev/shm/quorin-fuzz-XXXXXX")
                                    : QDir::tempPath() + QStringLiteral("/quorin-fuzz-XXXXXX"));
    const QString path = folder.filePath(QStringLiteral("profile.ini"));
    Fuzz::Input in(data, size);
    const uint8_t choice = in.byte();
    {
        QFile file(path);
        Fuzz::check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the profile file");
        file.write(in.rest().data(), in.rest().size());
    }

    // Probes: sections and keys the seeds use, in other cases too.
    static const QString sections[] = {u"Settings"_s, u"server"_s, u"a"_s, u""_s};
    static const QString keys[] = {u"Name"_s, u"port"_s, u"x"_s, u""_s};
    QStringList before;
    for (const QString &s : sections) {
        for (const QString &k : keys) {
            before << ProfileFile::readString(path, s, k, u"<none>"_s);
            (void)ProfileFile::readInt(path, s, k, -1);
        }
    }

    const QString section = sections[choice % 3];
    const QString key = keys[(choice >> 2) % 3];
    const QString value = u"v"_s + QString::number(choice);
    Fuzz::check(ProfileFile::writeString(path, section, key, value), "a write failed");
    Fuzz::check(ProfileFile::readString(path, section, key) == value, "a written value did not read back",
                section + u"/"_s + key + u" = "_s + ProfileFile::readString(path, section, key));

    qsizetype i = 0;
    for (const QString &s : sections) {
        for (const QString &k : keys) {
            const bool written = s.compare(section, Qt::CaseInsensitive) == 0 &&
                                 k.compare(key, Qt::CaseInsensitive) == 0;
            if (!written) {
                Fuzz::check(ProfileFile::readString(path, s, k, u"<none>"_s) == before[i],
                            "a write changed another key", s + u"/"_s + k);
            }
            ++i;
        }
    }

    Fuzz::check(ProfileFile::removeKey(path, section, key), "a remove failed");
    Fuzz::check(!ProfileFile::hasKey(path, section, key), "a removed key is still there");
    return 0;
}
