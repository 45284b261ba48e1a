// The program's own icon, for every window's title bar and the desktop's task list.
#pragma once
#include <QIcon>

// The 16, 32 and 64 pixel pictures of the program's icon (resources of keyfold.qrc).
QIcon programIcon();
