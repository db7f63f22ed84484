#pragma once
// The one Windows system setting the program adjusts: whether a window shows its
// contents while it is dragged. It is kept in the user's profile of this
// platform, the file "system.ini" in $XDG_CONFIG_HOME/kaldor/ (or the file named
// by KALDOR_SYSTEM_SETTINGS), section [Desktop], key DragFullWindows.

#include "core/values.h"

namespace SPI {
enum : unsigned {
    SetDragFullWindows = 37,  // uiParam: 1 on, 0 off
    GetDragFullWindows = 38,  // pvParam: a LONG that receives 1 or 0
};
// Flags: write the change to the profile; tell the other programs.
enum : unsigned { UpdateIniFile = 1, SendChange = 2 };
}  // namespace SPI

// Returns 1 on success, 0 for an action it does not know or a null pvParam
// where one is needed. A change without UpdateIniFile lasts until the process
// ends; one with it is written to the profile at once.
int SystemParametersInfoA(unsigned action, unsigned uiParam, void* pvParam, unsigned winIni);

namespace rt {
// The settings file in use.
QString systemSettingsPath();
}  // namespace rt
