// The program's pictures, drawn at run time so that they stay sharp at any
// size: the Find and Stop toolbar buttons and the program icon.
#pragma once

#include <QIcon>

QIcon FindIcon();
QIcon StopIcon();
QIcon ProgramIcon();
