#include "filedrop.h"

#include "ui/runtime.h"
#include "ui/window.h"

namespace lst {

namespace {
constexpr int kMostRows = 1000;
}

void FileDropComboClass::Init(FieldRef useField, int control, FieldRef position, ViewClass& view,
                              QueueClass& queue, RelationManager& relation, WindowManager& manager,
                              ErrorClass& errors, BYTE removeDuplicates, BYTE synchronize,
                              BYTE caseSensitive) {
    (void)relation;
    (void)errors;
    useField_ = useField;
    control_ = control;
    view_ = &view;
    queue_ = &queue;
    manager_ = &manager;
    positionField_ = queue.fieldIndex(position);
    removeDuplicates_ = removeDuplicates != 0;
    synchronize_ = synchronize != 0;
    caseSensitive_ = caseSensitive != 0;
    read_ = false;
    manager.AddItem(*this);
    attach();
}

bool FileDropComboClass::attach() {
    return manager_ && list_.attach(*manager_, control_, *queue_,
                                    [this](rt::Event& e) { return takeInput(e); });
}

void FileDropComboClass::Kill() {
    list_.Kill();
}

void FileDropComboClass::AddSortOrder(const KEY& key) {
    key_ = key;
    read_ = false;
}

void FileDropComboClass::AddRange(FieldRef field, RelationManager& child, RelationManager& parent) {
    ranges_.push_back({field, child.LinkedField(parent, field), Value()});
    read_ = false;
}

void FileDropComboClass::AddField(FieldRef tableField, FieldRef queueField) {
    fields_.emplace_back(tableField, queueField);
    if (view_)
        view_->addField(tableField);
}

void FileDropComboClass::SetQueueRecord() {
    for (const auto& [table, queue] : fields_)
        queue.set(table.get());
}

bool FileDropComboClass::rangeMoved() const {
    for (const Range& r : ranges_) {
        if (r.parentField.valid() && compare(r.parentField.get(), r.used) != 0)
            return true;
    }
    return false;
}

BYTE FileDropComboClass::ResetQueue(bool force) {
    if (!view_ || !queue_ || (read_ && !force && !rangeMoved()))
        return 0;
    // A choice belongs to its parent's rows: when the parent moved on (another
    // card) and the record in the buffer is not one of its rows, the combo
    // shows nothing of the rows it had.
    const bool parentMoved = read_ && rangeMoved();
    if (key_.valid())
        view_->setOrder(key_);
    else
        view_->setFileOrder();
    view_->clearRange();
    for (Range& r : ranges_) {
        r.used = r.parentField.valid() ? r.parentField.get() : Value();
        view_->setRange(r.field, r.used);
    }
    // The rows pass through the record buffer; what it held stays.
    TableFile& file = view_->file();
    const RecordImage keep = file.saveRecord();
    const RecordPointer current = file.current();
    queue_->free();
    std::set<QString> seen;
    const FieldRef position =
        positionField_ >= 0 ? queue_->fields()[size_t(positionField_)].ref : FieldRef{};
    view_->read(nullptr, true, true, kMostRows, [&](const ViewPosition& pos) {
        if (removeDuplicates_ && useField_.valid()) {
            QString text = CLIP(useField_.get().toText());
            if (!caseSensitive_)
                text = text.toUpper();
            if (!seen.insert(text).second)
                return true;
        }
        queue_->clearBuffer();
        if (position.valid())
            position.set(Value(pos.toString()));
        SetQueueRecord();
        queue_->add();
        return true;
    });
    file.restoreRecord(keep);
    file.setCurrent(current);
    if (parentMoved) {
        bool outside = false;
        for (const Range& r : ranges_)
            outside = outside || (r.field.valid() && compare(r.field.get(), r.used) != 0);
        if (outside)
            file.clearRecord();
    }
    read_ = true;
    list_.setCurrent(0);
    list_.display();
    return 1;
}

void FileDropComboClass::UpdateWindow() {
    if (!attach())
        return;
    ResetQueue(false);
    list_.display();
}

bool FileDropComboClass::takeInput(rt::Event& e) {
    if (e.event != EVENT::NewSelection || !synchronize_ || !view_)
        return true;
    const int row = int(e.value.toInt());
    if (row < 1 || row > queue_->records() || positionField_ < 0)
        return true;
    const ViewPosition p = ViewPosition::fromString(queue_->value(row, positionField_).toText());
    if (!p.valid() || !view_->fetch(p)) {
        // Gone since the list was read: what the row shows, at least.
        queue_->get(row);
        for (const auto& [table, queue] : fields_)
            table.set(queue.get());
    }
    return true;
}

}  // namespace lst
