#pragma once

#include <QString>

namespace SystemUser {

// Login name of the effective user; empty when the system has none for it.
QString loginName();

} // namespace SystemUser
