#pragma once
// What the windows of the catalogue share.

#include "resizer.h"

// The resizer of the catalogue's windows: the platform's Init, then every
// control takes part with the window's strategy.
class ParentDefaultsResizer : public WindowResizeClass {
  public:
    void Init(int appStrategy, bool setMinSize, bool setMaxSize) override {
        WindowResizeClass::Init(appStrategy, setMinSize, setMaxSize);
        SetParentDefaults();
    }
};
