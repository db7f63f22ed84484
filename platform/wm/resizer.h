#pragma once
// WindowResizeClass: moves and sizes a window's controls when the user resizes
// the window. A companion: register it with AddItem after Init; it lays the
// controls out again on every Sized event and when Resize() is called.
//
// The layout starts from the declared geometry (dialog units) and the declared
// client size. Along each axis, within each container (the window, a sheet, a
// group, an option box):
//   - growing controls (lists, text controls, sheets, groups, option boxes and
//     images; with strategy Resize::Spread also entries, combos, drop lists
//     and progress bars in width) scale their position and size with the
//     container;
//   - a control that lies wholly after every growing control it lines up with
//     (buttons below a list) keeps its distance to the container's far edge,
//     one wholly before them keeps its distance to the near edge, any other
//     control scales its position and keeps its size.
// So nothing overlaps that did not overlap before. SetStrategy overrides this
// for one control; RemoveControl leaves a control where it was declared.

#include <map>
#include <set>

#include "windowmanager.h"

namespace Resize {
// Application strategies (Init).
enum : int {
    Default = 0,  // growing controls only; entries keep their width
    Spread = 2,   // entries, combos and drop lists widen with the window too
};
// Position strategies (SetStrategy): one horizontal value plus one vertical.
enum : int {
    PosDefault = 0,
    LockX = 0x0010,      // keeps its distance to the container's left edge
    FixRight = 0x0020,   // keeps its distance to the right edge
    ScaleX = 0x0040,     // moves in proportion
    LockY = 0x1000,      // keeps its distance to the top edge
    FixBottom = 0x2000,  // keeps its distance to the bottom edge
    ScaleY = 0x4000,     // moves in proportion
    HorizontalMask = 0x00FF,
    VerticalMask = 0xFF00,
};
// Size strategies (SetStrategy): a sum of these.
enum : int {
    SizeDefault = 0,
    LockWidth = 1,
    LockHeight = 2,
    LockSize = 3,
    ScaleWidth = 4,  // grows in proportion
    ScaleHeight = 8,
    ScaleSize = 12,
};
}  // namespace Resize

class WindowResizeClass : public WindowComponent {
  public:
    // `appStrategy` Resize::Default or Resize::Spread; with setMinSize the
    // window cannot be made smaller than declared, with setMaxSize not larger.
    virtual void Init(int appStrategy = Resize::Default, bool setMinSize = false,
                      bool setMaxSize = false);
    // Every control of the window takes part with the application strategy.
    void SetParentDefaults();
    // `control` stays where it was declared.
    void RemoveControl(int control);
    // `control` follows these strategies instead of the default ones.
    void SetStrategy(int control, int positionStrategy, int sizeStrategy);
    // Lays the controls out for the window's present size.
    int Resize();

    int TakeEvent() override;
    void Kill() override;

    int Strategy() const { return strategy_; }

  private:
    struct Box {
        double x = 0, y = 0, w = 0, h = 0;
    };
    void capture();
    void applyLimits();
    Box place(int control, const std::map<int, Box>& placed, double kx, double ky) const;

    int strategy_ = Resize::Default;
    bool minSize_ = false;
    bool maxSize_ = false;
    bool all_ = false;
    bool captured_ = false;
    bool limitsSet_ = false;
    std::set<int> removed_;
    std::map<int, std::pair<int, int>> strategies_;  // control -> position, size
    std::map<int, Box> original_;                    // control -> declared geometry
    Box window_;                                     // declared client size
    int lastWidth_ = -1, lastHeight_ = -1;
};
