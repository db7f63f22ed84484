#include "resizer.h"

#include <QWidget>
#include <algorithm>
#include <cmath>

#include "ui/gui.h"

using rt::ControlType;

namespace {

bool growsBoth(ControlType t) {
    switch (t) {
        case ControlType::List:
        case ControlType::Text:
        case ControlType::Sheet:
        case ControlType::Group:
        case ControlType::Option:
        case ControlType::Image:
            return true;
        default:
            return false;
    }
}

bool growsInWidth(ControlType t, int strategy) {
    if (growsBoth(t))
        return true;
    if (strategy != Resize::Spread)
        return false;
    switch (t) {
        case ControlType::Entry:
        case ControlType::Combo:
        case ControlType::DropList:
        case ControlType::Progress:
            return true;
        default:
            return false;
    }
}

// The container whose edges a control follows: the nearest sheet, group or
// option box around it (a tab stands for its sheet); 0 for the window.
int containerOf(const rt::WindowDecl& d, int control) {
    const rt::ControlDecl* c = d.control(control);
    int p = c ? c->parent : 0;
    while (p != 0) {
        const rt::ControlDecl* pc = d.control(p);
        if (!pc)
            return 0;
        if (pc->type == ControlType::Sheet || pc->type == ControlType::Group ||
            pc->type == ControlType::Option)
            return p;
        p = pc->parent;
    }
    return 0;
}

// Controls the resizer never moves: tabs (their sheet holds them) and what sits
// on a toolbar.
bool placeable(const rt::WindowDecl& d, int control) {
    const rt::ControlDecl* c = d.control(control);
    if (!c || c->type == ControlType::Tab || c->type == ControlType::Toolbar)
        return false;
    for (int p = c->parent; p != 0;) {
        const rt::ControlDecl* pc = d.control(p);
        if (!pc)
            return false;
        if (pc->type == ControlType::Toolbar)
            return false;
        p = pc->parent;
    }
    return true;
}

}  // namespace

void WindowResizeClass::Init(int appStrategy, bool setMinSize, bool setMaxSize) {
    strategy_ = appStrategy;
    minSize_ = setMinSize;
    maxSize_ = setMaxSize;
    all_ = false;
    captured_ = false;
    limitsSet_ = false;
    removed_.clear();
    strategies_.clear();
    original_.clear();
    lastWidth_ = lastHeight_ = -1;
}

void WindowResizeClass::SetParentDefaults() {
    all_ = true;
}

void WindowResizeClass::RemoveControl(int control) {
    removed_.insert(control);
}

void WindowResizeClass::SetStrategy(int control, int positionStrategy, int sizeStrategy) {
    strategies_[control] = {positionStrategy, sizeStrategy};
    removed_.erase(control);
}

void WindowResizeClass::capture() {
    Window* w = Manager() ? Manager()->GetWindow() : nullptr;
    if (captured_ || !w || !w->isOpen())
        return;
    const rt::WindowDecl& d = w->declaration();
    window_ = Box{0, 0, double(d.width), double(d.height)};
    for (int n = 1; n <= w->count(); ++n) {
        if (!placeable(d, n))
            continue;
        Box b{double(w->get(n, PROP::XPos).toInt()), double(w->get(n, PROP::YPos).toInt()),
              double(w->get(n, PROP::Width).toInt()), double(w->get(n, PROP::Height).toInt())};
        if (b.w < 0 || b.h < 0)
            continue;  // a size never computed: leave the control alone
        original_[n] = b;
    }
    captured_ = true;
}

void WindowResizeClass::applyLimits() {
    Window* w = Manager() ? Manager()->GetWindow() : nullptr;
    if (limitsSet_ || !w || !w->isOpen() || (!minSize_ && !maxSize_))
        return;
    limitsSet_ = true;
    const int width = w->declaration().width;
    const int height = w->declaration().height;
    const bool setMin = minSize_, setMax = maxSize_;
    w->onGuiWindow([width, height, setMin, setMax](rt::GuiWindow& g) {
        const QSize s(g.px(width), g.py(height));
        if (setMin)
            g.client()->setMinimumSize(s);
        if (setMax)
            g.client()->setMaximumSize(s);
    });
}

WindowResizeClass::Box WindowResizeClass::place(int control, const std::map<int, Box>& placed,
                                                double kx, double ky) const {
    const Window* w = Manager()->GetWindow();
    const rt::WindowDecl& d = w->declaration();
    const Box& o = original_.at(control);
    const int container = containerOf(d, control);
    Box co = window_, cn = window_;
    if (container != 0) {
        auto oc = original_.find(container);
        if (oc != original_.end()) {
            co = oc->second;
            auto pc = placed.find(container);
            cn = pc != placed.end() ? pc->second : co;
        }
    } else {
        cn.w = window_.w * kx;
        cn.h = window_.h * ky;
    }
    const double sx = co.w > 0 ? cn.w / co.w : 1;
    const double sy = co.h > 0 ? cn.h / co.h : 1;
    const ControlType type = d.control(control)->type;

    int pos = Resize::PosDefault, size = Resize::SizeDefault;
    if (auto it = strategies_.find(control); it != strategies_.end())
        std::tie(pos, size) = it->second;

    // What a control without a position strategy does along one axis: growing
    // controls scale; others keep to the near or far edge when they lie wholly
    // before or after the growing controls they line up with, else scale.
    enum class Rule { Near, Far, Scale };
    auto byRegion = [&](bool horizontal) {
        double lo = 1e18, hi = -1e18;
        bool any = false;
        for (const auto& [n, g] : original_) {
            if (n == control || removed_.count(n) || containerOf(d, n) != container)
                continue;
            const rt::ControlDecl* gd = d.control(n);
            const bool grows = horizontal ? growsInWidth(gd->type, strategy_) : growsBoth(gd->type);
            if (!grows)
                continue;
            // Lines up: overlaps along the other axis.
            const bool overlaps = horizontal ? (g.y < o.y + o.h && o.y < g.y + g.h)
                                             : (g.x < o.x + o.w && o.x < g.x + g.w);
            if (!overlaps)
                continue;
            any = true;
            lo = std::min(lo, horizontal ? g.x : g.y);
            hi = std::max(hi, horizontal ? g.x + g.w : g.y + g.h);
        }
        const double start = horizontal ? o.x : o.y;
        const double end = start + (horizontal ? o.w : o.h);
        if (!any)
            return Rule::Scale;
        if (start >= hi)
            return Rule::Far;
        if (end <= lo)
            return Rule::Near;
        return Rule::Scale;
    };

    auto axis = [&](bool horizontal) {
        const double op = horizontal ? o.x : o.y;
        const double os = horizontal ? o.w : o.h;
        const double cop = horizontal ? co.x : co.y;
        const double cos = horizontal ? co.w : co.h;
        const double cnp = horizontal ? cn.x : cn.y;
        const double cns = horizontal ? cn.w : cn.h;
        const double k = horizontal ? sx : sy;
        const int p = horizontal ? (pos & Resize::HorizontalMask) : (pos & Resize::VerticalMask);
        const int lock = horizontal ? Resize::LockWidth : Resize::LockHeight;
        const int scale = horizontal ? Resize::ScaleWidth : Resize::ScaleHeight;
        const bool grows = horizontal ? growsInWidth(type, strategy_) : growsBoth(type);

        double ns = os;
        if (size & lock)
            ns = os;
        else if ((size & scale) || grows)
            ns = os * k;

        Rule rule;
        if (p == (horizontal ? int(Resize::LockX) : int(Resize::LockY)))
            rule = Rule::Near;
        else if (p == (horizontal ? int(Resize::FixRight) : int(Resize::FixBottom)))
            rule = Rule::Far;
        else if (p == (horizontal ? int(Resize::ScaleX) : int(Resize::ScaleY)) || grows)
            rule = Rule::Scale;
        else
            rule = byRegion(horizontal);

        double np;
        switch (rule) {
            case Rule::Near:
                np = cnp + (op - cop);
                break;
            case Rule::Far:
                np = cnp + cns - ((cop + cos) - (op + os)) - ns;
                break;
            case Rule::Scale:
            default:
                np = cnp + (op - cop) * k;
                break;
        }
        return std::pair<double, double>(np, ns);
    };
    Box b;
    std::tie(b.x, b.w) = axis(true);
    std::tie(b.y, b.h) = axis(false);
    return b;
}

int WindowResizeClass::Resize() {
    Window* w = Manager() ? Manager()->GetWindow() : nullptr;
    if (!w || !w->isOpen())
        return Level::Benign;
    capture();
    applyLimits();
    const int width = int(w->get(0, PROP::Width).toInt());
    const int height = int(w->get(0, PROP::Height).toInt());
    if (width <= 0 || height <= 0 || (width == lastWidth_ && height == lastHeight_))
        return Level::Benign;
    lastWidth_ = width;
    lastHeight_ = height;
    // The controls never shrink below their declared layout: a window smaller
    // than declared shows part of it, as it did before.
    const double kx = std::max(1.0, window_.w > 0 ? width / window_.w : 1.0);
    const double ky = std::max(1.0, window_.h > 0 ? height / window_.h : 1.0);
    const rt::WindowDecl& d = w->declaration();
    std::map<int, Box> placed;  // a container is numbered, so placed, before what it holds
    for (const auto& [n, o] : original_) {
        const bool moves = !removed_.count(n) && (all_ || strategies_.count(n));
        Box b = o;
        if (moves) {
            b = place(n, placed, kx, ky);
        } else if (const int c = containerOf(d, n); c != 0 && placed.count(c)) {
            // A control left alone keeps its place in its container, which may
            // have moved: the search group's entry and buttons stay inside the
            // group's frame wherever the group goes.
            b.x += placed[c].x - original_.at(c).x;
            b.y += placed[c].y - original_.at(c).y;
        }
        placed[n] = b;
        const int x = int(std::lround(b.x)), y = int(std::lround(b.y));
        const int cw = int(std::lround(b.w)), ch = int(std::lround(b.h));
        if (w->get(n, PROP::XPos).toInt() != x)
            w->set(n, PROP::XPos, 0, x);
        if (w->get(n, PROP::YPos).toInt() != y)
            w->set(n, PROP::YPos, 0, y);
        if (w->get(n, PROP::Width).toInt() != cw)
            w->set(n, PROP::Width, 0, cw);
        if (w->get(n, PROP::Height).toInt() != ch)
            w->set(n, PROP::Height, 0, ch);
    }
    return Level::Benign;
}

int WindowResizeClass::TakeEvent() {
    if (EVENT() == EVENT::Sized || EVENT() == EVENT::OpenWindow || EVENT() == EVENT::Maximized ||
        EVENT() == EVENT::Restored)
        Resize();
    return Level::Benign;
}

void WindowResizeClass::Kill() {
    captured_ = false;
    original_.clear();
}
