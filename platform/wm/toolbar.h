#pragma once
// ToolbarClass: hands the buttons of a toolbar to the companion they are meant
// for. A window registers its lists (or other companions) as targets, each with
// its control; the target whose control last had the focus takes the buttons
// (the first target before any had it). Buttons are bound to toolbar actions
// with AddButton; pressing one (an accepted event of its control) goes to the
// target's TakeToolbar.

#include <map>
#include <vector>

#include "windowmanager.h"

class ToolbarClass : public WindowComponent {
  public:
    void AddTarget(WindowComponent& target, int control);
    // Makes the target of `control` the current one.
    void SetTarget(int control);
    WindowComponent* Target() const;
    // `control` of the window stands for ToolbarButton `button`.
    void AddButton(int control, int button);
    // Sends `button` to the current target; true when it took it.
    bool Press(int button);

    int TakeEvent() override;
    void Kill() override;

  private:
    struct Entry {
        WindowComponent* target;
        int control;
    };
    std::vector<Entry> targets_;
    std::map<int, int> buttons_;  // control -> ToolbarButton
    int current_ = -1;
};
