#include "listcontrol.h"

#include "core/errors.h"
#include "core/picture.h"
#include "listview.h"
#include "ui/gui.h"
#include "ui/window.h"
#include "windowmanager.h"

namespace lst {

struct ListControl::State {
    Window* window = nullptr;
    int control = 0;
    QueueClass* queue = nullptr;
    std::shared_ptr<const Format> format = std::make_shared<Format>();
    bool valid = false;

    int current = 0;
    bool paged = false;
    int pageSize = 0;
    int thumb = 0;
    bool atTop = true, atBottom = true;
    std::set<int> alerts;
    std::vector<std::pair<QString, int>> popup;
    int sortColumn = 0;
    bool sortDescending = false;
    std::uint64_t seen = 0;  // input events of the list the hook took
    std::function<bool(rt::Event&)> handler;

    // What the screen was sent last, and to which opening of the window.
    quint64 setupFor = 0;
    std::shared_ptr<const Rows> sentRows;
    std::uint64_t sentVersion = ~std::uint64_t(0);
    Snapshot sent;  // its rows are sentRows

    bool open() const { return window && window->isOpen(); }
    void forget() {
        sentRows.reset();
        sentVersion = ~std::uint64_t(0);
        sent.current = -1;
    }
    // Runs fn on the GUI thread with what shows the list: the list's own
    // widget, or the drop list of a combo (made at the first call).
    void gui(std::function<void(ListSurface&)> fn) const {
        window->onGui(control, [fn = std::move(fn)](rt::GuiControl& c) {
            ListSurface* s = ListSurface::of(c);
            if (!s)
                s = ComboList::attach(c);
            if (s)
                fn(*s);
        });
    }
    // A new opening of the window gets everything again.
    void setup() {
        if (!open() || setupFor == window->id())
            return;
        setupFor = window->id();
        forget();
        gui([f = format, a = alerts, p = popup, sc = sortColumn,
             sd = sortDescending](ListSurface& w) {
            w.setFormat(f);
            w.setAlerts(a);
            w.setPopup(p);
            w.setSortMark(sc, sd);
        });
    }
    Cell cell(int row, const Column& col) const {
        Cell c;
        const Value v = queue->value(row, col.field);
        const Picture& pic = Picture::of(col.picture);
        c.text = pic.format(v);
        if (pic.type() != Picture::Type::Text)
            c.text = c.text.trimmed();
        if (col.colorField >= 0) {
            for (int k = 0; k < 4; ++k)
                c.colors[k] = int(queue->value(row, col.colorField + k).toInt());
        }
        if (col.iconField >= 0)
            c.icon = int(queue->value(row, col.iconField).toInt());
        if (col.styleField >= 0)
            c.style = int(queue->value(row, col.styleField).toInt());
        return c;
    }
};

ListControl::ListControl() : s_(std::make_shared<State>()) {
    installListControl();
}

ListControl::~ListControl() = default;

bool ListControl::Init(Window& window, int control, QueueClass& queue) {
    s_->window = &window;
    s_->control = control;
    s_->queue = &queue;
    s_->setupFor = 0;
    const QString text = window.get(control, PROP::Format).toText();
    auto f = std::make_shared<Format>();
    QString why;
    bool ok = parseFormat(text, f.get(), &why);
    if (ok && f->fields > int(queue.fields().size())) {
        why = QStringLiteral("the format shows %1 queue fields; the queue has %2")
                  .arg(f->fields)
                  .arg(queue.fields().size());
        ok = false;
    }
    s_->valid = ok;
    s_->format = ok ? std::shared_ptr<const Format>(f) : std::make_shared<const Format>();
    if (!ok) {
        ErrorReport r;
        r.severity = ErrorReport::Severity::Notify;
        r.title = QStringLiteral("Ошибка в описании списка");
        r.text = QStringLiteral(
                     "Список %1 окна %2 не может быть показан: неверная строка "
                     "формата «%3»: %4.")
                     .arg(window.get(control, PROP::Equate).toText(), window.declaration().label,
                          text, why);
        if (auto rep = ErrorClass::reporter())
            rep->report(r);
    }
    std::weak_ptr<State> weak = s_;
    window.onInput(control, [weak](rt::Event& e) {
        auto s = weak.lock();
        if (!s)
            return true;
        const bool fromList = e.event != EVENT::Selected &&
                              !(e.event == EVENT::AlertKey && s->window->alerted(e.keycode));
        if (fromList)
            ++s->seen;
        if (e.event == EVENT::NewSelection) {
            const int r = int(e.value.toInt());
            if (r >= 1 && r <= s->queue->records()) {
                s->current = r;
                s->sent.current = r;  // the screen shows it already
            }
        } else if (e.event == ListEvent::PageSize) {
            s->pageSize = std::max(1, int(e.value.toInt()));
            if (!s->paged)
                return false;
        }
        // The handler may end the list (a form closing the window): keep it alive.
        if (auto h = s->handler)
            return h(e);
        return true;
    });
    s_->setup();
    return ok;
}

void ListControl::setInputHandler(std::function<bool(rt::Event&)> handler) {
    s_->handler = std::move(handler);
}

bool ListControl::attach(WindowManager& manager, int control, QueueClass& queue,
                         std::function<bool(rt::Event&)> handler) {
    if (attached())
        return true;
    Window* w = manager.GetWindow();
    if (!w || !w->isOpen())
        return false;
    Init(*w, control, queue);
    setInputHandler(std::move(handler));
    return true;
}

bool ListControl::attached() const {
    return s_->window != nullptr;
}

void ListControl::Kill() {
    s_->handler = nullptr;
    if (s_->window)
        s_->window->onInput(s_->control, {});
    s_->window = nullptr;
    s_->queue = nullptr;
}

bool ListControl::valid() const {
    return s_->valid;
}
const Format& ListControl::format() const {
    return *s_->format;
}
Window* ListControl::window() const {
    return s_->window;
}
int ListControl::control() const {
    return s_->control;
}
QueueClass* ListControl::queue() const {
    return s_->queue;
}

int ListControl::current() const {
    if (!s_->queue || s_->queue->records() == 0)
        return 0;
    return std::clamp(s_->current, 1, s_->queue->records());
}

void ListControl::setCurrent(int row) {
    s_->current = row;
}

void ListControl::setPaged(bool on) {
    s_->paged = on;
}
bool ListControl::paged() const {
    return s_->paged;
}
int ListControl::pageSize() const {
    return s_->pageSize;
}

void ListControl::setThumb(int percent, bool atTop, bool atBottom) {
    s_->thumb = std::clamp(percent, 0, 100);
    s_->atTop = atTop;
    s_->atBottom = atBottom;
}

void ListControl::alert(int keycode) {
    s_->alerts.insert(keycode);
    if (s_->open() && s_->setupFor == s_->window->id())
        s_->gui([a = s_->alerts](ListSurface& w) { w.setAlerts(a); });
}

void ListControl::alertClear() {
    s_->alerts.clear();
    if (s_->open() && s_->setupFor == s_->window->id())
        s_->gui([](ListSurface& w) { w.setAlerts({}); });
}

bool ListControl::alerted(int keycode) const {
    return s_->alerts.count(keycode) != 0;
}

void ListControl::setPopup(const std::vector<std::pair<QString, int>>& entries) {
    s_->popup = entries;
    if (s_->open() && s_->setupFor == s_->window->id())
        s_->gui([p = entries](ListSurface& w) { w.setPopup(p); });
}

void ListControl::setSortMark(int column, bool descending) {
    s_->sortColumn = column;
    s_->sortDescending = descending;
    if (s_->open() && s_->setupFor == s_->window->id())
        s_->gui([column, descending](ListSurface& w) { w.setSortMark(column, descending); });
}

void ListControl::fitColumns(int column) {
    if (!s_->open())
        return;
    display();
    s_->gui([column](ListSurface& w) { w.fitColumns(column); });
}

void ListControl::invalidate() {
    s_->forget();
}

void ListControl::display() {
    State& s = *s_;
    if (!s.queue || !s.open())
        return;
    s.setup();
    const int records = s.queue->records();
    const int current = records == 0 ? 0 : std::clamp(s.current, 1, records);
    s.current = current;
    std::shared_ptr<const Rows> rows;
    if (s.queue->version() != s.sentVersion || !s.sentRows) {
        auto built = std::make_shared<Rows>();
        built->reserve(size_t(records));
        for (int r = 1; r <= records; ++r) {
            std::vector<Cell> row;
            row.reserve(s.format->columns.size());
            for (const Column& col : s.format->columns)
                row.push_back(s.cell(r, col));
            built->push_back(std::move(row));
        }
        s.sentVersion = s.queue->version();
        if (!s.sentRows || *s.sentRows != *built)
            rows = std::move(built);
    }
    Snapshot snap;
    snap.seen = s.seen;
    snap.current = current;
    snap.paged = s.paged;
    snap.thumb = s.thumb;
    snap.atTop = s.atTop;
    snap.atBottom = s.atBottom;
    // After input the screen hears back even when nothing changed: it may have
    // set aside a snapshot made before the procedure took that input.
    if (!rows && snap.seen == s.sent.seen && snap.current == s.sent.current &&
        snap.thumb == s.sent.thumb && snap.atTop == s.sent.atTop &&
        snap.atBottom == s.sent.atBottom && snap.paged == s.sent.paged)
        return;
    s.sent = snap;
    snap.rows = rows;
    if (rows)
        s.sentRows = rows;
    s.gui([snap](ListSurface& w) { w.apply(snap); });
}

}  // namespace lst
