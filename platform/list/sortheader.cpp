#include "sortheader.h"

#include "core/ini.h"
#include "listview.h"
#include "ui/gui.h"
#include "ui/window.h"

namespace lst {

namespace {

QString iniKey(int control) {
    return QStringLiteral("SortHeader%1").arg(control);
}

}  // namespace

void SortHeaderClassType::Init(QueueClass& queue, int listControl, const QString& iniFile,
                               const QString& procedure, ViewClass* view, const KEY& key) {
    (void)view;
    (void)key;
    window_ = &TARGET();
    queue_ = &queue;
    control_ = listControl;
    iniFile_ = iniFile;
    procedure_ = procedure;
    column_ = 0;
    descending_ = false;
    pending_.clear();
    QString why;
    if (!parseFormat(window_->get(listControl, PROP::Format).toText(), &format_, &why))
        format_ = Format();
    if (!iniFile_.isEmpty() && !procedure_.isEmpty()) {
        INIClass ini;
        ini.Init(iniFile_);
        pending_ = ini.Fetch(procedure_, iniKey(control_));
        ini.Kill();
    }
}

QString SortHeaderClassType::columnField(int column) const {
    if (column < 1 || column > int(format_.columns.size()) || !queue_)
        return {};
    const int field = format_.columns[size_t(column - 1)].field;
    return field < int(queue_->fields().size()) ? queue_->fields()[size_t(field)].name : QString();
}

QString SortHeaderClassType::SortString() const {
    if (column_ == 0)
        return {};
    return (descending_ ? QStringLiteral("-") : QStringLiteral("+")) + columnField(column_);
}

void SortHeaderClassType::setMark() {
    if (!window_)
        return;
    const int column = column_;
    const bool descending = descending_;
    window_->onGui(control_, [column, descending](rt::GuiControl& c) {
        if (ListSurface* w = ListSurface::of(c))
            w->setSortMark(column, descending);
    });
}

int SortHeaderClassType::TakeEvents() {
    if (!window_)
        return 0;
    if (!pending_.isEmpty()) {
        // A sort kept from the last time: the column whose field it names.
        const QString kept = pending_;
        pending_.clear();
        const bool desc = kept.startsWith(u'-');
        const QString name = kept.mid(1);
        for (int c = 1; c <= int(format_.columns.size()); ++c) {
            if (columnField(c).compare(name, Qt::CaseInsensitive) == 0) {
                column_ = c;
                descending_ = desc;
                setMark();
                QueueResorted(SortString());
                break;
            }
        }
    }
    const rt::Event& e = rt::currentEvent();
    if (e.event != EVENT::HeaderPressed || e.field != control_)
        return 0;
    const int column = int(e.value.toInt());
    if (columnField(column).isEmpty())
        return 1;
    if (column != column_) {
        column_ = column;
        descending_ = false;
    } else if (!descending_) {
        descending_ = true;
    } else {
        column_ = 0;
        descending_ = false;
    }
    setMark();
    QueueResorted(SortString());
    return 1;
}

void SortHeaderClassType::ClearSort() {
    if (column_ == 0)
        return;
    column_ = 0;
    descending_ = false;
    setMark();
    QueueResorted(QString());
}

void SortHeaderClassType::QueueResorted(const QString& sortString) {
    (void)sortString;
}

void SortHeaderClassType::Kill() {
    if (!iniFile_.isEmpty() && !procedure_.isEmpty()) {
        INIClass ini;
        ini.Init(iniFile_);
        ini.Update(procedure_, iniKey(control_), SortString());
        ini.Kill();
    }
    window_ = nullptr;
}

// ---------------------------------------------------------------------------

void AutoSizeColumnClassType::Init() {
    lists_.clear();
}

void AutoSizeColumnClassType::AddListBox(int listControl, QueueClass& queue) {
    (void)queue;
    lists_.push_back({&TARGET(), listControl});
}

int AutoSizeColumnClassType::TakeEvents() {
    const rt::Event& e = rt::currentEvent();
    if (e.event != EVENT::ColumnResize)
        return 0;
    for (const Entry& l : lists_) {
        if (l.control != e.field)
            continue;
        const int column = int(e.value.toInt());
        l.window->onGui(l.control, [column](rt::GuiControl& c) {
            if (ListSurface* w = ListSurface::of(c))
                w->fitColumns(column);
        });
        return 1;
    }
    return 0;
}

void AutoSizeColumnClassType::ResizeAll() {
    for (const Entry& l : lists_) {
        l.window->onGui(l.control, [](rt::GuiControl& c) {
            if (ListSurface* w = ListSurface::of(c))
                w->fitColumns(0);
        });
    }
}

void AutoSizeColumnClassType::Kill() {
    lists_.clear();
}

}  // namespace lst
