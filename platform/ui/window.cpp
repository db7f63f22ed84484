#include "window.h"

#include <QStringList>
#include <atomic>
#include <chrono>
#include <map>
#include <set>

#include "core/picture.h"
#include "detail.h"
#include "dialogs.h"

using rt::ControlDecl;
using rt::ControlType;
using rt::detail::PropKey;
using rt::detail::ThreadContext;
using Clock = std::chrono::steady_clock;

namespace {

std::atomic<quint64> gNextId{1};

// The SYSTEM's properties: one set for the process.
std::mutex gSystemLock;
std::map<std::pair<int, int>, Value> gSystem;

Value systemDefault(PROP p) {
    switch (p) {
        case PROP::CharSet:
            return Value(int(CHARSET::Ansi));
        case PROP::TipDisplay:
            return Value(-1);
        case PROP::TipDelay:
            return Value(-1);
        case PROP::NoTips:
            return Value(0);
        default:
            return Value(QString());
    }
}

bool isRange(int first, int last, int n) {
    return n >= first && n <= (last == 0 ? first : last);
}

QString clipped(const QString& s) {
    return CLIP(s);
}

}  // namespace

struct Window::Impl {
    Window* self = nullptr;
    std::shared_ptr<const rt::WindowDecl> decl;
    QString error;
    quint64 id = 0;
    std::shared_ptr<ThreadContext> ctx;
    bool open = false;
    bool pendingOpen = false;
    bool closeDelivered = false;
    bool closeAsked = false;  // the close delivered was another thread's request
    bool forcedClose = false;
    bool ended = false;
    std::map<PropKey, Value> props;
    std::map<int, FieldRef> use;
    std::map<int, Value> shown;
    std::set<int> alerts;
    std::map<int, std::function<bool(rt::Event&)>> inputHooks;
    int focus = 0;
    bool hasPlacement = false;
    WindowPlacement placement;
    Clock::time_point nextTimer = Clock::time_point::max();

    const ControlDecl* control(int n) const { return decl ? decl->control(n) : nullptr; }

    Value declared(int n, PROP p, int index) const;
    Value screenValue(int n) const;
    bool visible(int n) const;
    void send(std::function<void()> fn) const {
        if (open)
            rt::gui::post(std::move(fn));
    }
    void sendScreen(const std::vector<std::pair<int, Value>>& values) {
        if (values.empty())
            return;
        const quint64 wid = id;
        send([wid, values] { rt::detail::guiScreen(wid, values); });
    }
    void scheduleTimer() {
        const int t = int(self->get(0, PROP::Timer).toInt());
        nextTimer =
            t > 0 ? Clock::now() + std::chrono::milliseconds(t * 10) : Clock::time_point::max();
    }
    bool takeInput(rt::Event& e);
    bool nextEvent(rt::Event* next);
    // With ctx->m held:
    bool live(quint64 window) const;
    bool ready() const;
    bool takeQueued(rt::Event* next, std::function<void(Window&)>* apply, quint64* applyTo);
    // Another thread asked the thread to close its windows, and none has been
    // told yet.
    bool closeToTake() const { return ctx->closing && ctx->closingAsked == 0; }
    void store(int n, const Value& v) {
        auto it = use.find(n);
        if (it != use.end() && it->second.valid())
            it->second.set(v);
    }
};

// ---------------------------------------------------------------------------
// Declared values of the properties.

Value Window::Impl::declared(int n, PROP p, int index) const {
    if (!decl)
        return {};
    if (n == 0) {
        const rt::WindowDecl& w = *decl;
        switch (p) {
            case PROP::Text:
                return w.title;
            case PROP::Icon:
                return w.icon;
            case PROP::XPos:
                return w.x;
            case PROP::YPos:
                return w.y;
            case PROP::Width:
                return w.width;
            case PROP::Height:
                return w.height;
            case PROP::FontName:
                return w.font.name;
            case PROP::FontSize:
                return w.font.size > 0 ? w.font.size : 8;
            case PROP::FontColor:
                return w.font.color;
            case PROP::FontStyle:
                return w.font.style > 0 ? w.font.style : int(FONT::Regular);
            case PROP::Color:
                return w.color;
            case PROP::Timer:
                return w.timer;
            case PROP::Hide:
            case PROP::Disable:
            case PROP::Maximize:
            case PROP::Iconize:
                return p == PROP::Maximize && w.maximized ? 1 : 0;
            case PROP::StatusText:
                return QString();
            case PROP::Visible:
                return open ? 1 : 0;
            default:
                return {};
        }
    }
    if (n < 0) {
        const rt::MenuDecl* m = decl->menu(n);
        if (!m)
            return {};
        switch (p) {
            case PROP::Text:
                return m->text;
            case PROP::Std:
                return m->std;
            case PROP::Equate:
                return m->equate;
            case PROP::Hide:
            case PROP::Disable:
                return 0;
            default:
                return {};
        }
    }
    const ControlDecl* c = control(n);
    if (!c)
        return {};
    const rt::FontDecl& wf = decl->font;
    switch (p) {
        case PROP::Text:
            return c->text;
        case PROP::Hide:
            return c->hidden ? 1 : 0;
        case PROP::Disable:
            return c->disabled ? 1 : 0;
        case PROP::ReadOnly:
            return c->readOnly ? 1 : 0;
        case PROP::FontName:
            return c->font.name.isEmpty() ? wf.name : c->font.name;
        case PROP::FontSize:
            return c->font.size > 0 ? c->font.size : (wf.size > 0 ? wf.size : 8);
        case PROP::FontColor:
            return c->font.color != -1 ? c->font.color : wf.color;
        case PROP::FontStyle:
            return c->font.style > 0 ? c->font.style
                                     : (wf.style > 0 ? wf.style : int(FONT::Regular));
        case PROP::Color:
            return c->color;
        case PROP::SelectedColor:
            return c->selectedColor;
        case PROP::SelectedFillColor:
            return c->selectedFill;
        case PROP::Tip:
            return c->tip;
        case PROP::LineHeight:
            return c->lineHeight;
        case PROP::XPos:
            return c->x;
        case PROP::YPos:
            return c->y;
        case PROP::Width:
            return c->width;
        case PROP::Height:
            return c->height;
        case PROP::Icon:
            return c->icon;
        case PROP::IconList:
            return QString();
        case PROP::Picture:
            return c->picture;
        case PROP::Format:
            return c->format;
        case PROP::From:
            return c->from.join(u'|');
        case PROP::Choice:
            if (c->type == ControlType::Sheet)
                return decl->children(n, ControlType::Tab).empty() ? 0 : 1;
            return 0;
        case PROP::RangeLow:
            return c->rangeLow;
        case PROP::RangeHigh:
            return c->rangeHigh;
        case PROP::Step:
            return c->step;
        case PROP::Progress:
            return 0;
        case PROP::Default:
            return c->isDefault ? 1 : 0;
        case PROP::Std:
            return c->std;
        case PROP::Type:
            return c->kind;
        case PROP::Equate:
            return c->equate;
        case PROP::ScreenText:
            return QString();
        default:
            (void)index;
            return {};
    }
}

bool Window::Impl::visible(int n) const {
    const ControlDecl* c = control(n);
    if (!c)
        return false;
    if (self->get(n, PROP::Hide).toInt() != 0)
        return false;
    if (c->parent == 0)
        return true;
    if (!visible(c->parent))
        return false;
    const ControlDecl* parent = control(c->parent);
    if (parent && parent->type == ControlType::Tab) {
        // Controls of a tab show while their tab is the sheet's current one.
        return self->choice(parent->parent) == decl->position(parent->number);
    }
    return true;
}

// What a bound control shows for its variable's value.
Value Window::Impl::screenValue(int n) const {
    const ControlDecl* c = control(n);
    auto it = use.find(n);
    if (!c || it == use.end() || !it->second.valid())
        return {};
    const Value v = it->second.get();
    switch (c->type) {
        case ControlType::Check:
            return v == c->trueValue ? 1 : 0;
        case ControlType::Option: {
            const std::vector<int> radios = decl->children(n, ControlType::Radio);
            for (size_t i = 0; i < radios.size(); ++i) {
                const ControlDecl* r = control(radios[i]);
                const Value rv = r->hasValue ? r->value : Value(int(i) + 1);
                if (rv == v)
                    return int(i) + 1;
            }
            return 0;
        }
        case ControlType::DropList: {
            const QStringList& keys = c->fromValues.isEmpty() ? c->from : c->fromValues;
            for (int i = 0; i < keys.size(); ++i) {
                if (Value(keys[i]) == v)
                    return i + 1;
            }
            return 0;
        }
        case ControlType::Spin:
        case ControlType::Progress:
            return v.isText() ? Value(v.toReal()) : v;
        case ControlType::Entry:
        case ControlType::String:
        case ControlType::Combo:
        case ControlType::Text: {
            const QString pic = self->get(n, PROP::Picture).toText();
            if (pic.isEmpty())
                return clipped(v.toText());
            const Picture& picture = Picture::of(pic);
            if (!picture.valid())
                return clipped(v.toText());
            QString s = picture.format(v);
            return picture.type() == Picture::Type::Text ? clipped(s) : s.trimmed();
        }
        default:
            return {};
    }
}

// Input the user gave through the GUI, taken on the owning thread: bound
// variables change here, never on the GUI thread. False when the event is
// consumed (refused text) rather than delivered.
bool Window::Impl::takeInput(rt::Event& e) {
    const ControlDecl* c = control(e.field);
    if (e.event == EVENT::Selected) {
        focus = e.field;
        return true;
    }
    if (!c)
        return true;
    const int n = e.field;
    switch (c->type) {
        case ControlType::Entry:
        case ControlType::Combo: {
            if (e.event != EVENT::Accepted)
                return true;
            const QString typed = e.value.toText();
            auto it = use.find(n);
            if (it == use.end() || !it->second.valid()) {
                props[{n, int(PROP::ScreenText), 0}] = typed;
                return true;
            }
            const QString pic = self->get(n, PROP::Picture).toText();
            Value v(typed);
            if (!pic.isEmpty() && Picture::of(pic).valid()) {
                QString why;
                if (!Picture::of(pic).parse(typed, &v, &why)) {
                    // Nothing the user did after the refused text counts; the
                    // entry takes the focus back for correction.
                    {
                        std::lock_guard<std::mutex> l(ctx->m);
                        for (auto q = ctx->queue.begin(); q != ctx->queue.end();) {
                            if (!q->apply && q->ev.input && q->ev.window == id)
                                q = ctx->queue.erase(q);
                            else
                                ++q;
                        }
                    }
                    MESSAGE(QStringLiteral("%1.\n\nВведено: «%2»").arg(why, typed),
                            QStringLiteral("Неверное значение"), ICON::Exclamation);
                    const quint64 wid = id;
                    send([wid, n] { rt::detail::guiRefuse(wid, n); });
                    e.event = EVENT::Rejected;
                    return true;
                }
            }
            it->second.set(v);
            // Show the value as its picture writes it, even if it reads the same.
            shown.erase(n);
            self->display(n);
            return true;
        }
        case ControlType::Check:
            if (e.event == EVENT::Accepted) {
                store(n, e.value.toInt() ? c->trueValue : c->falseValue);
                shown[n] = e.value.toInt() ? 1 : 0;
            }
            return true;
        case ControlType::Option: {
            if (e.event != EVENT::Accepted)
                return true;
            const std::vector<int> radios = decl->children(n, ControlType::Radio);
            const int pos = int(e.value.toInt());
            props[{n, int(PROP::Choice), 0}] = pos;
            if (pos >= 1 && pos <= int(radios.size())) {
                const ControlDecl* r = control(radios[size_t(pos - 1)]);
                store(n, r->hasValue ? r->value : Value(pos));
                shown[n] = pos;
            }
            return true;
        }
        case ControlType::DropList: {
            const int pos = int(e.value.toInt());
            props[{n, int(PROP::Choice), 0}] = pos;
            const QStringList& keys = c->fromValues.isEmpty() ? c->from : c->fromValues;
            if (pos >= 1 && pos <= keys.size()) {
                store(n, keys[pos - 1]);
                shown[n] = pos;
            }
            return true;
        }
        case ControlType::Spin:
            store(n, e.value);
            shown[n] = e.value;
            return true;
        case ControlType::Sheet:
            if (e.event == EVENT::NewSelection)
                props[{n, int(PROP::Choice), 0}] = e.value;
            return true;
        default:
            return true;
    }
}

// ---------------------------------------------------------------------------

Window::Window(QStringView module, QStringView label) : d(std::make_unique<Impl>()) {
    d->self = this;
    d->decl = rt::loadWindow(module, label, &d->error);
}

Window::Window(std::shared_ptr<const rt::WindowDecl> declaration) : d(std::make_unique<Impl>()) {
    d->self = this;
    d->decl = std::move(declaration);
    if (!d->decl)
        d->error = QStringLiteral("no declaration");
}

Window::~Window() {
    close();
}

bool Window::valid() const {
    return d->decl != nullptr;
}

QString Window::error() const {
    return d->error;
}

Window& Window::bind(int control, FieldRef variable) {
    d->use[control] = variable;
    d->shown.erase(control);
    if (d->open)
        display(control);
    return *this;
}

bool Window::open() {
    if (d->open || !d->decl)
        return d->open;
    auto ctx = rt::detail::currentContextShared();
    if (!ctx || !rt::running() || rt::shuttingDown()) {
        d->error = QStringLiteral("windows open on procedure threads of a running program only");
        return false;
    }
    d->ctx = ctx;
    d->id = gNextId++;
    rt::detail::OpenRequest req;
    req.id = d->id;
    req.ctx = ctx;
    req.decl = d->decl;
    req.props = d->props;
    req.alerts = d->alerts;
    d->shown.clear();
    for (auto& [n, r] : d->use) {
        if (r.valid())
            d->shown[n] = d->screenValue(n);
    }
    req.screen = d->shown;
    req.hasPlacement = d->hasPlacement;
    req.placement = d->placement;
    auto result = std::make_shared<rt::detail::OpenResult>();
    if (!rt::gui::call([req, result] { rt::detail::guiOpen(req, result.get()); }) || !result->ok) {
        d->error = QStringLiteral("the window could not be made");
        return false;
    }
    for (auto& [n, wh] : result->sizes) {
        if (!d->props.count({n, int(PROP::Width), 0}))
            d->props[{n, int(PROP::Width), 0}] = wh.first;
        if (!d->props.count({n, int(PROP::Height), 0}))
            d->props[{n, int(PROP::Height), 0}] = wh.second;
    }
    d->placement = result->placement;
    d->hasPlacement = true;
    d->open = true;
    d->pendingOpen = true;
    d->closeDelivered = false;
    d->closeAsked = false;
    d->forcedClose = false;
    d->ended = false;
    ctx->windows.push_back(this);
    {
        std::lock_guard<std::mutex> l(ctx->m);
        ++ctx->windowCount;
    }
    d->scheduleTimer();
    return true;
}

void Window::close() {
    if (!d->open)
        return;
    const quint64 wid = d->id;
    rt::gui::post([wid] { rt::detail::guiClose(wid); });
    d->open = false;
    ThreadContext& ctx = *d->ctx;
    std::erase(ctx.windows, this);
    if (ctx.target == this)
        ctx.target = nullptr;
    bool last = false;
    {
        // Events of a closed window go with it.
        std::lock_guard<std::mutex> l(ctx.m);
        for (auto q = ctx.queue.begin(); q != ctx.queue.end();) {
            if (q->ev.window == wid)
                q = ctx.queue.erase(q);
            else
                ++q;
        }
        last = --ctx.windowCount == 0;
        // A request to close the thread's windows goes on to the next one.
        if (ctx.closingAsked == wid)
            ctx.closingAsked = 0;
    }
    if (last)
        rt::detail::answerClose(ctx, rt::detail::CloseRequest::Closed);
}

bool Window::isOpen() const {
    return d->open;
}

Value Window::get(int control, PROP p, int index) const {
    switch (p) {
        case PROP::Visible:
            return control == 0 ? Value(d->open ? 1 : 0) : Value(d->visible(control) ? 1 : 0);
        case PROP::Enabled:
            return get(control, PROP::Disable, index).toInt() ? 0 : 1;
        case PROP::ScreenText: {
            auto it = d->shown.find(control);
            if (it != d->shown.end())
                return it->second;
            break;
        }
        default:
            break;
    }
    auto it = d->props.find({control, int(p), index});
    if (it != d->props.end())
        return it->second;
    return d->declared(control, p, index);
}

void Window::set(int control, PROP p, int index, const Value& v) {
    switch (p) {
        case PROP::Type:
        case PROP::Equate:
        case PROP::Visible:
        case PROP::Enabled:
            return;  // read only
        default:
            break;
    }
    d->props[{control, int(p), index}] = v;
    if (control == 0 && p == PROP::Timer)
        d->scheduleTimer();
    if (p == PROP::Picture)
        d->shown.erase(control);
    const quint64 wid = d->id;
    d->send([wid, control, p, index, v] { rt::detail::guiApply(wid, control, p, index, v); });
    if (p == PROP::Picture && d->open)
        display(control);
}

void Window::display(int first, int last) {
    if (!d->open)
        return;
    std::vector<std::pair<int, Value>> changed;
    for (auto& [n, r] : d->use) {
        if (!r.valid() || (first != 0 && !isRange(first, last, n)))
            continue;
        const Value v = d->screenValue(n);
        auto it = d->shown.find(n);
        if (it != d->shown.end() && it->second.type() == v.type() && it->second == v)
            continue;
        d->shown[n] = v;
        changed.emplace_back(n, v);
    }
    d->sendScreen(changed);
}

void Window::hide(int first, int last) {
    for (int n = first; n <= (last == 0 ? first : last); ++n)
        set(n, PROP::Hide, 0, 1);
}

void Window::unhide(int first, int last) {
    for (int n = first; n <= (last == 0 ? first : last); ++n)
        set(n, PROP::Hide, 0, 0);
}

void Window::disable(int first, int last) {
    for (int n = first; n <= (last == 0 ? first : last); ++n)
        set(n, PROP::Disable, 0, 1);
}

void Window::enable(int first, int last) {
    for (int n = first; n <= (last == 0 ? first : last); ++n)
        set(n, PROP::Disable, 0, 0);
}

void Window::select(int control) {
    const quint64 wid = d->id;
    d->send([wid, control] { rt::detail::guiSelect(wid, control); });
}

void Window::alert(int keycode) {
    d->alerts.insert(keycode);
    const quint64 wid = d->id;
    d->send([wid, a = d->alerts] { rt::detail::guiAlerts(wid, a); });
}

void Window::alertClear() {
    d->alerts.clear();
    const quint64 wid = d->id;
    d->send([wid] { rt::detail::guiAlerts(wid, {}); });
}

bool Window::alerted(int keycode) const {
    return d->alerts.count(keycode) != 0;
}

bool Window::post(int event, int control) {
    if (!d->open)
        return false;
    rt::Event e;
    e.event = event;
    e.field = control;
    e.window = d->id;
    rt::detail::push(*d->ctx, rt::detail::Item{std::move(e), nullptr});
    return true;
}

int Window::choice(int control) const {
    return int(get(control, PROP::Choice).toInt());
}

int Window::focus() const {
    return d->focus;
}

int Window::number(QStringView equate) const {
    return d->decl ? d->decl->number(equate) : 0;
}

int Window::count() const {
    return d->decl ? int(d->decl->controls.size()) : 0;
}

const rt::WindowDecl& Window::declaration() const {
    static const rt::WindowDecl none;
    return d->decl ? *d->decl : none;
}

quint64 Window::id() const {
    return d->id;
}

int Window::thread() const {
    return d->ctx ? d->ctx->number : 0;
}

FieldRef Window::variable(int control) const {
    auto it = d->use.find(control);
    return it == d->use.end() ? FieldRef{} : it->second;
}

WindowPlacement Window::placement() const {
    return d->placement;
}

void Window::setPlacement(const WindowPlacement& p) {
    if (p.width <= 0 || p.height <= 0)
        return;  // nothing stored yet
    d->placement = p;
    d->hasPlacement = true;
    const quint64 wid = d->id;
    d->send([wid, p] { rt::detail::guiPlacement(wid, p); });
}

void Window::onGui(int control, std::function<void(rt::GuiControl&)> fn) const {
    const quint64 wid = d->id;
    d->send([wid, control, fn = std::move(fn)] { rt::detail::guiWithControl(wid, control, fn); });
}

void Window::onGuiWindow(std::function<void(rt::GuiWindow&)> fn) const {
    const quint64 wid = d->id;
    d->send([wid, fn = std::move(fn)] { rt::detail::guiWithWindow(wid, fn); });
}

void Window::onInput(int control, std::function<bool(rt::Event&)> hook) {
    if (hook)
        d->inputHooks[control] = std::move(hook);
    else
        d->inputHooks.erase(control);
}

bool Window::accept() {
    if (!d->open || d->ended)
        return false;
    ThreadContext& ctx = *d->ctx;
    // The event handed out last time was the close: unless the program kept the
    // window (cycle), its loop ends now.
    if (d->closeDelivered && (d->forcedClose || !ctx.cycled)) {
        d->ended = true;
        return false;
    }
    // Kept after the close another thread asked for: that thread hears so.
    if (d->closeDelivered && d->closeAsked)
        rt::detail::answerClose(ctx, rt::detail::CloseRequest::Kept);
    d->closeDelivered = false;
    d->closeAsked = false;
    ctx.cycled = false;
    display();
    for (;;) {
        rt::Event next;
        if (!d->nextEvent(&next))
            continue;
        next.window = d->id;
        if (next.input) {
            if (!d->takeInput(next))
                continue;
            auto hook = d->inputHooks.find(next.field);
            if (hook != d->inputHooks.end() && !hook->second(next))
                continue;
        }
        if (next.event == EVENT::CloseWindow)
            d->closeDelivered = true;
        ctx.current = std::move(next);
        return true;
    }
}

// The window's next event; false when there is none yet (a state update was
// applied, an event of a closed window dropped, or the wait ended early).
bool Window::Impl::nextEvent(rt::Event* next) {
    if (pendingOpen) {
        pendingOpen = false;
        next->event = EVENT::OpenWindow;
        return true;
    }
    if (rt::shuttingDown()) {
        next->event = EVENT::CloseWindow;
        forcedClose = true;
        return true;
    }
    std::function<void(Window&)> apply;
    quint64 applyTo = 0;
    {
        std::unique_lock<std::mutex> l(ctx->m);
        if (!rt::detail::wait(
                *ctx, l, rt::detail::WaitFor::Events, [this] { return ready(); }, nextTimer)) {
            l.unlock();
            if (rt::shuttingDown() || Clock::now() < nextTimer)
                return false;
            scheduleTimer();
            next->event = EVENT::Timer;
            return true;
        }
        ++ctx->served;
        if (takeQueued(next, &apply, &applyTo))
            return true;
    }
    if (apply) {
        for (Window* w : ctx->windows) {
            if (w->d->id == applyTo) {
                apply(*w);
                break;
            }
        }
    }
    return false;
}

bool Window::Impl::live(quint64 window) const {
    for (Window* w : ctx->windows) {
        if (w->d->id == window)
            return true;
    }
    return false;
}

bool Window::Impl::ready() const {
    for (const rt::detail::Item& q : ctx->queue) {
        // Events of a closed window are ready to be dropped.
        if (q.apply || q.ev.window == 0 || q.ev.window == id || !live(q.ev.window))
            return true;
    }
    return closeToTake();
}

bool Window::Impl::takeQueued(rt::Event* next, std::function<void(Window&)>* apply,
                              quint64* applyTo) {
    for (auto q = ctx->queue.begin(); q != ctx->queue.end(); ++q) {
        if (q->apply) {
            *apply = std::move(q->apply);
            *applyTo = q->ev.window;
            ctx->queue.erase(q);
            return false;
        }
        if (q->ev.window == 0 || q->ev.window == id) {
            *next = std::move(q->ev);
            ctx->queue.erase(q);
            return true;
        }
        if (!live(q->ev.window)) {
            ctx->queue.erase(q);
            return false;
        }
    }
    // What was queued first goes first; then another thread's request to
    // close the thread's windows reaches this one, as its close box would.
    if (!closeToTake())
        return false;
    ctx->closingAsked = id;
    closeAsked = true;
    next->event = EVENT::CloseWindow;
    return true;
}

// ---------------------------------------------------------------------------

// State the GUI reports back, applied on the owning thread.
struct WindowState {
    static void placement(Window& w, const WindowPlacement& p) {
        w.d->placement = p;
        w.d->hasPlacement = true;
    }
    static void size(Window& w, int control, int width, int height) {
        w.d->props[{control, int(PROP::Width), 0}] = width;
        w.d->props[{control, int(PROP::Height), 0}] = height;
    }
};

namespace rt::detail {

void closeThreadWindows(ThreadContext& ctx) {
    while (!ctx.windows.empty())
        ctx.windows.back()->close();
}

void notePlacement(Window& w, const WindowPlacement& p) {
    WindowState::placement(w, p);
}

void noteControlSize(Window& w, int control, int width, int height) {
    WindowState::size(w, control, width, height);
}

}  // namespace rt::detail

// ---------------------------------------------------------------------------

Prop& Prop::operator=(const Value& v) {
    if (w_) {
        w_->set(control_, p_, i_, v);
        return *this;
    }
    {
        std::lock_guard<std::mutex> l(gSystemLock);
        gSystem[{int(p_), i_}] = v;
    }
    rt::gui::post([p = p_, v] { rt::detail::guiSystem(p, v); });
    return *this;
}

Value Prop::get() const {
    if (w_)
        return w_->get(control_, p_, i_);
    std::lock_guard<std::mutex> l(gSystemLock);
    auto it = gSystem.find({int(p_), i_});
    return it == gSystem.end() ? systemDefault(p_) : it->second;
}

void Control::hide() const {
    w_->hide(n_);
}
void Control::unhide() const {
    w_->unhide(n_);
}
void Control::disable() const {
    w_->disable(n_);
}
void Control::enable() const {
    w_->enable(n_);
}
void Control::select() const {
    w_->select(n_);
}
void Control::display() const {
    w_->display(n_, n_);
}

const SystemObject SYSTEM;

void SETTARGET(Window& w) {
    if (auto* ctx = rt::detail::currentContext())
        ctx->target = &w;
}

void SETTARGET() {
    if (auto* ctx = rt::detail::currentContext())
        ctx->target = nullptr;
}

Window& TARGET() {
    auto* ctx = rt::detail::currentContext();
    if (ctx && ctx->target)
        return *ctx->target;
    if (ctx && !ctx->windows.empty())
        return *ctx->windows.back();
    // No window: statements address a window that is never opened.
    thread_local Window none(std::shared_ptr<const rt::WindowDecl>(nullptr));
    return none;
}

bool ACCEPT() {
    auto* ctx = rt::detail::currentContext();
    if (!ctx || ctx->windows.empty())
        return false;
    return ctx->windows.back()->accept();
}

void DISPLAY(int first, int last) {
    TARGET().display(first, last);
}
void HIDE(int first, int last) {
    TARGET().hide(first, last);
}
void UNHIDE(int first, int last) {
    TARGET().unhide(first, last);
}
void DISABLE(int first, int last) {
    TARGET().disable(first, last);
}
void ENABLE(int first, int last) {
    TARGET().enable(first, last);
}
void SELECT(int control) {
    TARGET().select(control);
}
void ALERT(int keycode) {
    TARGET().alert(keycode);
}
void ALERT() {
    TARGET().alertClear();
}
int CHOICE(int control) {
    return TARGET().choice(control);
}
int FOCUS() {
    return TARGET().focus();
}
