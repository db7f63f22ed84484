#include "browse.h"

#include "core/errors.h"
#include "query.h"
#include "ui/runtime.h"
#include "ui/window.h"

namespace lst {

namespace {

constexpr int kDefaultPage = 20;

// Order items are separated by commas outside parentheses and quotes.
QStringList orderItems(const QString& text) {
    QStringList out;
    int depth = 0;
    bool quoted = false;
    QString item;
    for (QChar c : text) {
        if (c == u'\'')
            quoted = !quoted;
        else if (!quoted && c == u'(')
            ++depth;
        else if (!quoted && c == u')')
            --depth;
        if (c == u',' && depth == 0 && !quoted) {
            out << item.trimmed();
            item.clear();
            continue;
        }
        item += c;
    }
    if (!item.trimmed().isEmpty())
        out << item.trimmed();
    return out;
}

}  // namespace

BrowseClass::BrowseClass() = default;

BrowseClass::~BrowseClass() = default;

void BrowseClass::Init(int listControl, FieldRef position, ViewClass& view, QueueClass& queue,
                       RelationManager& relation, WindowManager& manager) {
    control_ = listControl;
    view_ = &view;
    queue_ = &queue;
    relation_ = &relation;
    manager_ = &manager;
    positionField_ = queue.fieldIndex(position);
    list_.setPaged(true);
    manager.AddItem(*this);
    attach();
}

bool BrowseClass::attach() {
    return manager_ && list_.attach(*manager_, control_, *queue_,
                                    [this](rt::Event& e) { return takeInput(e); });
}

int BrowseClass::windowRequest() const {
    return manager_ ? manager_->Request : 0;
}

void BrowseClass::Kill() {
    list_.Kill();
}

int BrowseClass::AddSortOrder(StepClass* step, const KEY& key) {
    Order o;
    o.key = key;
    o.step = step;
    orders_.push_back(std::move(o));
    return int(orders_.size());
}

void BrowseClass::AddLocator(LocatorClass* locator) {
    if (!orders_.empty())
        orders_.back().locator = locator;
}

void BrowseClass::AddField(FieldRef tableField, FieldRef queueField) {
    fields_.emplace_back(tableField, queueField);
    if (view_)
        view_->addField(tableField);
}

void BrowseClass::AddRange(FieldRef field, RelationManager& child, RelationManager& parent) {
    if (orders_.empty())
        AddSortOrder();
    Range r;
    r.field = field;
    r.parentField = child.LinkedField(parent, field);
    orders_.back().ranges.push_back(r);
}

void BrowseClass::AppendOrder(const QString& order) {
    if (orders_.empty())
        AddSortOrder();
    QString& t = orders_.back().text;
    if (!t.trimmed().isEmpty())
        t += u',';
    t += order;
}

void BrowseClass::SetFilter(std::function<bool()> filter) {
    filterExpression_.reset();
    filter_ = std::move(filter);
    applied_ = false;
}

bool BrowseClass::SetFilter(const QString& expression, QString* error) {
    if (expression.trimmed().isEmpty()) {
        SetFilter(std::function<bool()>());
        return true;
    }
    auto e = Expression::parse(expression, view_ ? &view_->file() : nullptr, error);
    if (!e)
        return false;
    filterExpression_ = std::move(e);
    const Expression* x = filterExpression_.get();
    filter_ = [x] { return !x->evaluate().isZeroOrBlank(); };
    applied_ = false;
    return true;
}

// ---------------------------------------------------------------------------
// Orders

StepClass* BrowseClass::step() const {
    if (replaced_)
        return replaced_->step;
    return order_ > 0 ? orders_[size_t(order_ - 1)].step : nullptr;
}

LocatorClass* BrowseClass::locator() const {
    if (replaced_)
        return replaced_->locator;
    return order_ > 0 ? orders_[size_t(order_ - 1)].locator : nullptr;
}

bool BrowseClass::rangesChanged() const {
    if (order_ <= 0)
        return false;
    for (const Range& r : orders_[size_t(order_ - 1)].ranges) {
        if (r.parentField.valid() && compare(r.parentField.get(), r.used) != 0)
            return true;
    }
    return false;
}

void BrowseClass::applyOrder() {
    Order& o = orders_[size_t(order_ - 1)];
    view_->clearRange();
    for (Range& r : o.ranges) {
        r.used = r.parentField.valid() ? r.parentField.get() : Value();
        view_->setRange(r.field, r.used);
    }
    view_->clearConditions();
    queryFilter_ = nullptr;
    if (Query && queryApplied_) {
        Query->SetTable(&view_->file());
        queryFilter_ = Query->Apply(*view_);
    }
    if (filter_ && queryFilter_)
        view_->setFilter([this] { return filter_() && queryFilter_(); });
    else if (filter_ || queryFilter_)
        view_->setFilter(filter_ ? filter_ : queryFilter_);
    else
        view_->clearFilter();

    const KEY key = replaced_ ? KEY{} : o.key;
    const QString text = replaced_ ? replaced_->text : o.text;
    std::unique_ptr<Expression> expression;
    bool expressionDescending = false;
    std::vector<ViewClass::OrderField> fields;
    const QStringList items = orderItems(text);
    if (!items.isEmpty() && key.valid()) {
        for (const auto& part : key.file->key(key.index).parts)
            fields.push_back({key.file->fields()[size_t(part.field)].ref, part.descending});
    }
    for (QString item : items) {
        const bool descending = item.startsWith(u'-');
        if (item.startsWith(u'-') || item.startsWith(u'+'))
            item = item.mid(1).trimmed();
        QString why;
        auto e = Expression::parse(item, &view_->file(), &why);
        if (!e) {
            ErrorReport r;
            r.title = QStringLiteral("Порядок списка");
            r.text = QStringLiteral("Порядок «%1» не может быть применён: %2.").arg(item, why);
            if (auto rep = ErrorClass::reporter())
                rep->report(r);
            continue;
        }
        if (e->field().valid()) {
            fields.push_back({e->field(), descending});
        } else if (!expression) {
            // The view orders by one computed value: it decides the order.
            expression = std::move(e);
            expressionDescending = descending;
        }
    }
    Expression::Match match;
    bool native = expression && expression->match(&match);
    for (const FieldRef& f : match.fields)
        native = native && (!f.valid() || view_->file().fieldIndex(f) >= 0);
    if (native) {
        // A fuzzy order over the row's own fields: the view scores every row
        // itself, on every core.
        ViewClass::MatchOrder m;
        m.query = match.query;
        m.base = match.base;
        m.descending = expressionDescending;
        for (size_t i = 0; i < match.fields.size(); ++i)
            m.text.push_back({match.fields[i], match.literals[i]});
        orderExpression_ = std::move(expression);
        view_->setOrder(std::move(m));
    } else if (expression) {
        orderExpression_ = std::move(expression);
        const Expression* x = orderExpression_.get();
        view_->setOrder([x] { return x->evaluate(); }, expressionDescending);
    } else if (!fields.empty()) {
        view_->setOrder(fields);
        orderExpression_.reset();
    } else if (key.valid()) {
        view_->setOrder(key);
        orderExpression_.reset();
    } else {
        view_->setFileOrder();
        orderExpression_.reset();
    }
    if (StepClass* s = step(); s && (s->options() & ScrollSort::Limits)) {
        const ViewPosition first = view_->first();
        const ViewPosition last = view_->last();
        if (first.valid() && !first.keys.empty() && !last.keys.empty())
            s->SetLimit(first.keys[0], last.keys[0]);
    }
    if (LocatorClass* l = locator())
        l->Reset();
    applied_ = true;
}

BYTE BrowseClass::SetSort(int order, bool force) {
    if (!view_)
        return 0;
    attach();
    if (orders_.empty())
        AddSortOrder();
    if (order < 1 || order > int(orders_.size()))
        return 0;
    const bool changed = order != order_;
    const bool rangeMoved = !changed && rangesChanged();
    if (!changed && !force && applied_ && !rangeMoved)
        return 0;
    const int row = CurrentRow();
    const ViewPosition old = row ? positionOf(row) : ViewPosition{};
    if (changed && replaced_) {
        if (replaced_->locator)
            replaced_->locator->FreeElement = replaced_->element;
        replaced_.reset();
    }
    order_ = order;
    applyOrder();
    // Children of another parent start at the top; otherwise the record shown
    // stays current in the order now in force.
    if (rangeMoved || !old.valid())
        ResetFromTop();
    else
        fillAround(old.ptr, old, row);
    UpdateViewRecord();
    updateThumb();
    show();
    newSelection();
    return 1;
}

BYTE BrowseClass::ResetSort(bool force) {
    return SetSort(order_ > 0 ? order_ : 1, force);
}

void BrowseClass::ReplaceSort(const QString& order, LocatorClass* locator, StepClass* step) {
    if (!view_ || order_ <= 0)
        return;
    const int row = CurrentRow();
    const ViewPosition old = row ? positionOf(row) : ViewPosition{};
    if (replaced_ && replaced_->locator)
        replaced_->locator->FreeElement = replaced_->element;
    replaced_ = Replacement{order, locator, step, locator ? locator->FreeElement : FieldRef{}};
    applyOrder();
    if (old.valid())
        fillAround(old.ptr, old, row);
    else
        ResetFromTop();
    UpdateViewRecord();
    updateThumb();
    show();
    newSelection();
}

void BrowseClass::RestoreSort() {
    if (replaced_ && replaced_->locator)
        replaced_->locator->FreeElement = replaced_->element;
    replaced_.reset();
    applied_ = false;
}

void BrowseClass::SetLocatorFromSort() {
    if (!replaced_ || !replaced_->locator || !view_)
        return;
    const QStringList items = orderItems(replaced_->text);
    if (items.isEmpty())
        return;
    QString item = items.first();
    if (item.startsWith(u'-') || item.startsWith(u'+'))
        item = item.mid(1).trimmed();
    auto e = Expression::parse(item, &view_->file());
    if (e && e->field().valid()) {
        replaced_->locator->FreeElement = e->field();
        replaced_->locator->Reset();
    }
}

// ---------------------------------------------------------------------------
// Reading rows

int BrowseClass::pageSize() const {
    const int n = list_.pageSize();
    return n > 0 ? n : kDefaultPage;
}

int BrowseClass::CurrentRow() const {
    return list_.current();
}

int BrowseClass::Records() const {
    return queue_ ? queue_->records() : 0;
}

ViewPosition BrowseClass::positionOf(int row) const {
    if (positionField_ < 0 || row < 1 || row > queue_->records())
        return {};
    return ViewPosition::fromString(queue_->value(row, positionField_).toText());
}

void BrowseClass::SetQueueRecord() {
    for (const auto& [table, queue] : fields_)
        queue.set(table.get());
}

int BrowseClass::readInto(const ViewPosition* from, bool forward, bool inclusive, int n,
                          bool append) {
    if (n <= 0)
        return 0;
    int got = 0;
    const FieldRef position =
        positionField_ >= 0 ? queue_->fields()[size_t(positionField_)].ref : FieldRef{};
    view_->read(from, forward, inclusive, n, [&](const ViewPosition& pos) {
        queue_->clearBuffer();
        if (position.valid())
            position.set(Value(pos.toString()));
        SetQueueRecord();
        if (append)
            queue_->add();
        else
            queue_->add(1);
        ++got;
        return true;
    });
    return got;
}

bool BrowseClass::hasRowBefore(const ViewPosition& p) {
    return view_->read(&p, false, false, 1, [](const ViewPosition&) { return false; }) > 0;
}

int BrowseClass::fillFrom(const ViewPosition* from, bool inclusive, int rowsAbove) {
    const int n = pageSize();
    queue_->free();
    bool topKnown = false;
    int above = 0;
    if (!from) {
        atTop_ = true;
        topKnown = true;
    } else if (rowsAbove > 0) {
        const int want = std::min(rowsAbove, n - 1);
        above = readInto(from, false, false, want, false);
        if (above < want) {
            atTop_ = true;
            topKnown = true;
        }
    }
    const int want = n - above;
    int below = readInto(from, true, from ? inclusive : true, want + 1, true);
    atBottom_ = below <= want;
    if (below > want)
        queue_->del(queue_->records());
    int index = above + 1;
    if (queue_->records() > 0 && queue_->records() < n && !topKnown) {
        // The end came first: the rows before fill the page.
        const ViewPosition first = positionOf(1);
        const int need = n - queue_->records();
        const int more = readInto(&first, false, false, need, false);
        index += more;
        if (more < need) {
            atTop_ = true;
            topKnown = true;
        }
    }
    if (queue_->records() == 0) {
        atTop_ = atBottom_ = true;
        return 0;
    }
    if (!topKnown)
        atTop_ = !hasRowBefore(positionOf(1));
    return std::min(index, queue_->records());
}

void BrowseClass::fillAround(RecordPointer ptr, const ViewPosition& fallback, int row) {
    ViewPosition p;
    p.ptr = ptr;
    const int above = row > 0 ? row - 1 : 0;
    int index = 0;
    bool filled = false;
    if (ptr) {
        index = fillFrom(&p, true, above);
        filled = queue_->records() > 0;
    }
    if (!filled && fallback.valid()) {
        index = fillFrom(&fallback, true, above);
        filled = queue_->records() > 0;
    }
    if (!filled)
        index = fillFrom(nullptr, true, 0);
    list_.setCurrent(std::max(1, index));
}

void BrowseClass::ResetFromTop() {
    if (!view_)
        return;
    fillFrom(nullptr, true, 0);
    list_.setCurrent(1);
    UpdateViewRecord();
    updateThumb();
}

void BrowseClass::ResetQueue() {
    if (!view_ || !applied_)
        return;
    const int row = CurrentRow();
    const ViewPosition old = row ? positionOf(row) : ViewPosition{};
    if (old.valid()) {
        const int index = fillFrom(&old, true, row - 1);
        if (queue_->records() == 0)
            fillFrom(nullptr, true, 0);
        list_.setCurrent(std::max(1, index));
    } else {
        fillFrom(nullptr, true, 0);
        list_.setCurrent(1);
    }
    UpdateViewRecord();
    updateThumb();
    show();
}

int BrowseClass::extend(bool forward, int want) {
    const int n = pageSize();
    const ViewPosition edge = positionOf(forward ? queue_->records() : 1);
    int got = readInto(&edge, forward, false, want + 1, forward);
    (forward ? atBottom_ : atTop_) = got <= want;
    if (got > want) {
        queue_->del(forward ? queue_->records() : 1);
        got = want;
    }
    while (queue_->records() > n) {
        queue_->del(forward ? 1 : queue_->records());
        (forward ? atTop_ : atBottom_) = false;
    }
    return got;
}

void BrowseClass::scrollRows(int delta) {
    const int records = queue_->records();
    if (records == 0) {
        ResetFromTop();
        return;
    }
    const int target = CurrentRow() + delta;
    if (target >= 1 && target <= records) {
        list_.setCurrent(target);
        return;
    }
    // Past the edge: the rows beyond come in and the row at that edge is current.
    extend(delta > 0, delta > 0 ? target - records : 1 - target);
    list_.setCurrent(delta > 0 ? queue_->records() : 1);
}

void BrowseClass::Fetch(int direction) {
    const int records = queue_->records();
    if (records == 0) {
        ResetFromTop();
        return;
    }
    const int cur = CurrentRow();
    const bool forward = direction == FillForward;
    if (extend(forward, pageSize()) == 0)
        list_.setCurrent(forward ? records : 1);
    else
        list_.setCurrent(std::clamp(cur, 1, queue_->records()));
}

void BrowseClass::scrollEnd(bool bottom) {
    if (!bottom) {
        ResetFromTop();
        return;
    }
    const int n = pageSize();
    queue_->free();
    const int got = readInto(nullptr, false, true, n + 1, false);
    atTop_ = got <= n;
    if (got > n)
        queue_->del(1);
    atBottom_ = true;
    list_.setCurrent(queue_->records());
}

void BrowseClass::locate(const Value& v) {
    const ViewPosition p = view_->locate({v});
    if (!p.valid()) {
        scrollEnd(true);
        return;
    }
    list_.setCurrent(std::max(1, fillFrom(&p, true, 0)));
}

void BrowseClass::dragTo(int percent) {
    if (percent <= 0) {
        scrollEnd(false);
        return;
    }
    if (percent >= 100) {
        scrollEnd(true);
        return;
    }
    if (StepClass* s = step()) {
        locate(s->GetValue(percent));
        return;
    }
    // Without a step object: the row at that share of the rows.
    const std::int64_t count = view_->count();
    if (count <= 0)
        return;
    const std::int64_t k = count * percent / 100;
    ViewPosition at;
    view_->read(nullptr, true, true, int(std::min<std::int64_t>(k + 1, count)),
                [&at](const ViewPosition& p) {
                    at = p;
                    return true;
                });
    if (at.valid())
        list_.setCurrent(std::max(1, fillFrom(&at, true, 0)));
}

void BrowseClass::UpdateViewRecord() {
    if (!view_)
        return;
    const int row = CurrentRow();
    if (!row) {
        // No row, no current record: what the window shows of the record
        // (a card deleted last, say) goes with it.
        view_->file().clearRecord();
        return;
    }
    const ViewPosition p = positionOf(row);
    if (p.valid() && view_->fetch(p))
        return;
    // The record is gone: what the row shows goes back at least.
    queue_->get(row);
    for (const auto& [table, queue] : fields_)
        table.set(queue.get());
}

void BrowseClass::updateThumb() {
    int percent = 50;
    const int row = CurrentRow();
    if (StepClass* s = step(); s && row) {
        const ViewPosition p = positionOf(row);
        if (!p.keys.empty())
            percent = s->GetPercentile(p.keys[0]);
    }
    list_.setThumb(percent, atTop_, atBottom_);
}

void BrowseClass::show() {
    list_.display();
}

void BrowseClass::newSelection() {
    if (Window* w = manager_ ? manager_->GetWindow() : nullptr)
        w->post(EVENT::NewSelection, control_);
}

// ---------------------------------------------------------------------------
// Events

bool BrowseClass::takeInput(rt::Event& e) {
    if (!applied_ || !view_)
        return e.event != ListEvent::PageSize;
    switch (e.event) {
        case EVENT::NewSelection:
            break;
        case EVENT::ScrollUp:
            scrollRows(-std::max<int>(1, int(e.value.toInt())));
            break;
        case EVENT::ScrollDown:
            scrollRows(std::max<int>(1, int(e.value.toInt())));
            break;
        case EVENT::PageUp:
            Fetch(FillBackward);
            break;
        case EVENT::PageDown:
            Fetch(FillForward);
            break;
        case EVENT::ScrollTop:
            scrollEnd(false);
            break;
        case EVENT::ScrollBottom:
            scrollEnd(true);
            break;
        case EVENT::ScrollDrag:
            dragTo(int(e.value.toInt()));
            break;
        case EVENT::Locate:
            if (LocatorClass* l = locator()) {
                Value v;
                if (l->TakeKey(e.value.toText(), &v))
                    locate(v);
            }
            break;
        case ListEvent::PageSize:
            ResetQueue();
            newSelection();
            return false;
        default:
            return true;
    }
    UpdateViewRecord();
    updateThumb();
    show();
    return true;
}

bool BrowseClass::TakeQuery() {
    if (!Query || !view_)
        return false;
    Query->SetTable(&view_->file());
    if (!Query->Ask())
        return false;
    ApplyQuery();
    return true;
}

void BrowseClass::ApplyQuery() {
    if (!view_)
        return;
    queryApplied_ = Query && !Query->IsEmpty();
    if (Query)
        Query->SetTable(&view_->file());
    if (orders_.empty())
        AddSortOrder();
    if (order_ <= 0)
        order_ = 1;
    attach();
    applyOrder();
    ResetFromTop();
    show();
    newSelection();
}

int BrowseClass::TakeEvent() {
    if (!manager_ || !view_ || !attach())
        return Level::Benign;
    const rt::Event& e = rt::currentEvent();
    const bool updates = windowRequest() != ViewRecord;
    const bool editing = updates && EditViaPopup;
    if (e.field == control_ && control_ != 0) {
        if (e.event == EVENT::Accepted && editing && ChangeControl &&
            (e.keycode == Key::Enter || e.keycode == ListKey::MouseLeft2)) {
            Ask(ChangeRecord);
        } else if (e.event == EVENT::AlertKey && editing) {
            if (e.keycode == Key::Insert && InsertControl)
                Ask(InsertRecord);
            else if (e.keycode == Key::Delete && DeleteControl)
                Ask(DeleteRecord);
            else if (e.keycode == Key::Enter && ChangeControl)
                Ask(ChangeRecord);
        }
    } else if (e.event == EVENT::Accepted && e.field != 0 && e.field == QueryControl && Query) {
        TakeQuery();
    } else if (e.event == EVENT::Accepted && e.field != 0 && updates) {
        if (e.field == InsertControl)
            Ask(InsertRecord);
        else if (e.field == ChangeControl)
            Ask(ChangeRecord);
        else if (e.field == DeleteControl)
            Ask(DeleteRecord);
    }
    return Level::Benign;
}

void BrowseClass::UpdateWindow() {
    if (!view_ || !attach())
        return;
    ResetSort(false);
    list_.display();
}

void BrowseClass::Reset(bool force) {
    if (view_)
        ResetSort(force);
}

bool BrowseClass::TakeToolbar(int button) {
    if (!view_ || !attach() || !applied_)
        return false;
    const bool updates = windowRequest() != ViewRecord;
    switch (button) {
        case ToolbarButton::Insert:
            if (!updates || !InsertControl)
                return false;
            Ask(InsertRecord);
            return true;
        case ToolbarButton::Change:
            if (!updates || !ChangeControl)
                return false;
            Ask(ChangeRecord);
            return true;
        case ToolbarButton::Delete:
            if (!updates || !DeleteControl)
                return false;
            Ask(DeleteRecord);
            return true;
        case ToolbarButton::Top:
            scrollEnd(false);
            break;
        case ToolbarButton::Bottom:
            scrollEnd(true);
            break;
        case ToolbarButton::PageUp:
            Fetch(FillBackward);
            break;
        case ToolbarButton::PageDown:
            Fetch(FillForward);
            break;
        case ToolbarButton::Up:
            scrollRows(-1);
            break;
        case ToolbarButton::Down:
            scrollRows(1);
            break;
        default:
            return false;
    }
    UpdateViewRecord();
    updateThumb();
    show();
    newSelection();
    return true;
}

void BrowseClass::SetAlerts() {
    if (!attach())
        return;
    list_.alertClear();
    std::vector<std::pair<QString, int>> popup;
    const bool editing = EditViaPopup && windowRequest() != ViewRecord;
    if (editing) {
        if (InsertControl) {
            list_.alert(Key::Insert);
            popup.emplace_back(QStringLiteral("&Добавить"), int(Key::Insert));
        }
        if (ChangeControl) {
            list_.alert(Key::Enter);
            popup.emplace_back(QStringLiteral("&Изменить"), int(Key::Enter));
        }
        if (DeleteControl) {
            list_.alert(Key::Delete);
            popup.emplace_back(QStringLiteral("&Удалить"), int(Key::Delete));
        }
    }
    list_.setPopup(UsePopup ? popup : std::vector<std::pair<QString, int>>{});
}

void BrowseClass::Ask(int request) {
    if (!manager_ || !view_ || windowRequest() == ViewRecord)
        return;
    const int row = CurrentRow();
    const ViewPosition old = row ? positionOf(row) : ViewPosition{};
    if (request != InsertRecord) {
        if (!row)
            return;
        if (!view_->fetch(old)) {
            // Gone since it was read: show what is there now.
            ResetQueue();
            newSelection();
            return;
        }
    } else {
        // A new record starts blank (the form primes it, keeping what is set
        // here), and a new child belongs to the parent the list shows.
        view_->file().clearRecord();
        if (order_ > 0) {
            for (const Range& r : orders_[size_t(order_ - 1)].ranges) {
                if (r.parentField.valid())
                    r.field.set(r.parentField.get());
            }
        }
    }
    const int response = manager_->Run(AskProcedure, request);
    const RecordPointer ptr = view_->file().current();
    if (response == RequestCompleted && !view_->keyOrder())
        view_->reset();  // a built order is built again with the change
    if (response == RequestCompleted && request != DeleteRecord && ptr)
        fillAround(ptr, old, row);
    else if (old.valid())
        fillAround(0, old, row);
    else
        fillAround(0, {}, 0);
    UpdateViewRecord();
    updateThumb();
    show();
    newSelection();
}

}  // namespace lst
