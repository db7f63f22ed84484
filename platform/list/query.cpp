#include "query.h"

#include "core/errors.h"
#include "core/ini.h"
#include "expression.h"
#include "view.h"

namespace lst {

struct QueryClass::Compiled {};

QString queryOpText(QueryOp) {
    return {};
}
QueryOp queryOpFromText(QStringView) {
    return QueryOp::None;
}

QueryClass::QueryClass() = default;
QueryClass::~QueryClass() = default;

void QueryClass::Init(QueryVisual& visual, INIClass& ini, QStringView family, ErrorClass& errors) {
    visual_ = &visual;
    ini_ = &ini;
    family_ = family.toString();
    errors_ = &errors;
}
void QueryClass::Kill() {}
int QueryClass::AddItem(QStringView expression, QStringView title, QStringView picture,
                        BYTE finalItem) {
    items_.push_back({expression.toString(), title.toString(), picture.toString(), finalItem != 0});
    return int(items_.size());
}
const QueryClass::Item& QueryClass::GetItem(int item) const {
    return items_[size_t(item - 1)];
}
int QueryClass::ItemOf(QStringView) const {
    return 0;
}
std::vector<QueryOp> QueryClass::Operators(int) const {
    return {};
}
void QueryClass::ClearQuery() {
    conditions_.clear();
}
bool QueryClass::SetLimit(int, QueryOp, const Value&) {
    return false;
}
QueryOp QueryClass::GetLimit(int, Value*) const {
    return QueryOp::None;
}
QString QueryClass::GetFilter() const {
    return {};
}
QString QueryClass::Text() const {
    return {};
}
bool QueryClass::SetText(QStringView) {
    return false;
}
void QueryClass::SetTable(const TableFile* table) {
    table_ = table;
}
bool QueryClass::Matches() const {
    return true;
}
std::function<bool()> QueryClass::Apply(ViewClass&) const {
    return {};
}
bool QueryClass::Ask() {
    return visual_ && visual_->Ask(*this);
}
QStringList QueryClass::SavedQueries() const {
    return {};
}
bool QueryClass::Save(QStringView) {
    return false;
}
bool QueryClass::Restore(QStringView) {
    return false;
}
void QueryClass::Delete(QStringView) {}
void QueryClass::SaveLast() {}
bool QueryClass::RestoreLast() {
    return false;
}
bool QueryClass::HasLast() const {
    return false;
}
QueryClass::Kind QueryClass::KindOf(int) const {
    return Kind::Text;
}
bool QueryClass::AddCondition(int, QueryOp, const Value&) {
    return false;
}
void QueryClass::compile() const {}
void QueryClass::writeSaved(const QStringList&, const QStringList&) {}
void QueryClass::readSaved(QStringList*, QStringList*) const {}

void QueryListClass::RemoveLimit(int n) {
    if (n >= 1 && n <= int(conditions_.size()))
        conditions_.erase(conditions_.begin() + (n - 1));
}

QueryVisual::~QueryVisual() = default;

struct QueryListVisual::Impl {};
QueryListVisual::QueryListVisual() : d(std::make_unique<Impl>()) {}
QueryListVisual::~QueryListVisual() = default;
bool QueryListVisual::Ask(QueryClass&) {
    return false;
}

}  // namespace lst
