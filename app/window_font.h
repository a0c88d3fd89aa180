#pragma once
// The font of the main window and its menus: a proportional Japanese Gothic, 12 pixels high.
#include <QFont>

QFont WindowFont();
