#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The running program's title, version text ("major.minor.revision") and pictures.
QString ProgramTitle();
QString ProgramVersion();
// The product logo drawn at the given size, and the windows' icon.
QPixmap ProgramLogo(int width, int height);
QIcon ProgramIcon();
