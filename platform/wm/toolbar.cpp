#include "toolbar.h"

void ToolbarClass::AddTarget(WindowComponent& target, int control) {
    targets_.push_back({&target, control});
    if (current_ < 0)
        current_ = 0;
}

void ToolbarClass::SetTarget(int control) {
    for (size_t i = 0; i < targets_.size(); ++i) {
        if (targets_[i].control == control) {
            current_ = int(i);
            return;
        }
    }
}

WindowComponent* ToolbarClass::Target() const {
    return current_ >= 0 && current_ < int(targets_.size()) ? targets_[size_t(current_)].target
                                                            : nullptr;
}

void ToolbarClass::AddButton(int control, int button) {
    buttons_[control] = button;
}

bool ToolbarClass::Press(int button) {
    WindowComponent* t = Target();
    return t && t->TakeToolbar(button);
}

int ToolbarClass::TakeEvent() {
    // The target follows the focus among the targets' controls.
    if (EVENT() == EVENT::Selected)
        SetTarget(FIELD());
    if (EVENT() == EVENT::Accepted) {
        auto it = buttons_.find(FIELD());
        if (it != buttons_.end() && Press(it->second))
            return Level::Notify;
    }
    return Level::Benign;
}

void ToolbarClass::Kill() {
    targets_.clear();
    current_ = -1;
}
