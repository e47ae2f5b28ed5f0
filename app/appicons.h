// The pictures of the main window: the Find and Stop toolbar buttons and
// the program icon, from the program's resources (res/icons).
#pragma once

#include <QIcon>

QIcon FindIcon();
QIcon StopIcon();
QIcon ProgramIcon();
