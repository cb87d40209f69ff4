#include "SystemUser.h"

#include <QFile>

#include <pwd.h>
#include <unistd.h>

namespace SystemUser {

QString loginName()
{
    const passwd *pw = ::getpwuid(::geteuid());
    return pw && pw->pw_name ? QFile::decodeName(pw->pw_name) : QString();
}

} // namespace SystemUser
