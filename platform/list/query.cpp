#include "query.h"

#include <QRegularExpression>
#include <cmath>

#include "core/errors.h"
#include "core/ini.h"
#include "core/picture.h"
#include "expression.h"
#include "view.h"

namespace lst {

namespace {

struct OpName {
    QueryOp op;
    const char16_t* shown;  // as the query window shows it
    const char* code;       // as saved queries keep it
};

const OpName kOps[] = {
    {QueryOp::Equal, u"=", "="},
    {QueryOp::NotEqual, u"<>", "<>"},
    {QueryOp::Greater, u">", ">"},
    {QueryOp::Less, u"<", "<"},
    {QueryOp::GreaterEqual, u">=", ">="},
    {QueryOp::LessEqual, u"<=", "<="},
    {QueryOp::Contains, u"содержит", "contains"},
    {QueryOp::BeginsWith, u"начинается с", "begins"},
};

QString opCode(QueryOp op) {
    for (const auto& o : kOps) {
        if (o.op == op)
            return QString::fromLatin1(o.code);
    }
    return {};
}

QueryOp opFromCode(QStringView code) {
    for (const auto& o : kOps) {
        if (code == QLatin1String(o.code))
            return o.op;
    }
    return QueryOp::None;
}

bool ordering(QueryOp op) {
    return op == QueryOp::Greater || op == QueryOp::Less || op == QueryOp::GreaterEqual ||
           op == QueryOp::LessEqual;
}

ViewClass::Compare viewCompare(QueryOp op) {
    switch (op) {
        case QueryOp::NotEqual:
            return ViewClass::Compare::NotEqual;
        case QueryOp::Greater:
            return ViewClass::Compare::Greater;
        case QueryOp::Less:
            return ViewClass::Compare::Less;
        case QueryOp::GreaterEqual:
            return ViewClass::Compare::GreaterEqual;
        case QueryOp::LessEqual:
            return ViewClass::Compare::LessEqual;
        case QueryOp::Contains:
            return ViewClass::Compare::Contains;
        case QueryOp::BeginsWith:
            return ViewClass::Compare::BeginsWith;
        default:
            return ViewClass::Compare::Equal;
    }
}

// Saved queries separate conditions with ';' and their parts with '|'.
QString escaped(const QString& s) {
    QString out = s;
    out.replace(u'%', QStringLiteral("%25"));
    out.replace(u'|', QStringLiteral("%7C"));
    out.replace(u';', QStringLiteral("%3B"));
    out.replace(u'\n', QStringLiteral("%0A"));
    out.replace(u'\r', QStringLiteral("%0D"));
    return out;
}

QString unescaped(QStringView s) {
    QString out = s.toString();
    out.replace(QStringLiteral("%7C"), QStringLiteral("|"));
    out.replace(QStringLiteral("%3B"), QStringLiteral(";"));
    out.replace(QStringLiteral("%0A"), QStringLiteral("\n"));
    out.replace(QStringLiteral("%0D"), QStringLiteral("\r"));
    out.replace(QStringLiteral("%25"), QStringLiteral("%"));
    return out;
}

QString literal(const QString& text) {
    QString t = text;
    t.replace(u'\'', QStringLiteral("''"));
    return u'\'' + t + u'\'';
}

void report(ErrorClass* errors, const QString& text) {
    ErrorReport r;
    r.severity = ErrorReport::Severity::Warning;
    r.title = QStringLiteral("Запрос по образцу");
    r.text = text;
    if (errors)
        r.procedure = errors->GetProcedureName();
    if (auto rep = ErrorClass::reporter())
        rep->report(r);
}

const QString kCount = QStringLiteral("Queries");
const QString kLast = QStringLiteral("LastQuery");
QString nameKey(int n) {
    return QStringLiteral("QueryName%1").arg(n);
}
QString textKey(int n) {
    return QStringLiteral("Query%1").arg(n);
}

}  // namespace

QString queryOpText(QueryOp op) {
    for (const auto& o : kOps) {
        if (o.op == op)
            return QString::fromUtf16(o.shown);
    }
    return {};
}

QueryOp queryOpFromText(QStringView text) {
    const QStringView t = text.trimmed();
    for (const auto& o : kOps) {
        if (t.compare(QString::fromUtf16(o.shown), Qt::CaseInsensitive) == 0)
            return o.op;
    }
    return QueryOp::None;
}

// What an item reads: a field of the table (under UPPER or not), or any
// expression, evaluated with the row in the record buffer.
struct QueryClass::Compiled {
    FieldRef field;
    QString fieldName;  // as the item names it ("KAL:utvdata")
    bool upper = false;
    std::unique_ptr<Expression> expression;
};

QueryClass::QueryClass() = default;
QueryClass::~QueryClass() = default;

void QueryClass::Init(QueryVisual& visual, INIClass& ini, QStringView family, ErrorClass& errors) {
    visual_ = &visual;
    ini_ = &ini;
    family_ = family.toString().trimmed();
    errors_ = &errors;
}

void QueryClass::Kill() {
    conditions_.clear();
    compiled_.clear();
    compiledFor_ = false;
}

// ---------------------------------------------------------------------------
// Items

int QueryClass::AddItem(QStringView expression, QStringView title, QStringView picture,
                        BYTE finalItem) {
    Item i;
    i.expression = expression.toString().trimmed();
    i.title = title.toString();
    i.picture =
        picture.trimmed().isEmpty() ? QStringLiteral("@s255") : picture.toString().trimmed();
    i.offered = finalItem != 0;
    items_.push_back(std::move(i));
    compiledFor_ = false;
    return int(items_.size());
}

const QueryClass::Item& QueryClass::GetItem(int item) const {
    static const Item none;
    return item >= 1 && item <= Items() ? items_[size_t(item - 1)] : none;
}

int QueryClass::ItemOf(QStringView name) const {
    const QString n = name.toString().simplified();
    for (int i = 1; i <= Items(); ++i) {
        const Item& it = items_[size_t(i - 1)];
        if (it.expression.simplified().compare(n, Qt::CaseInsensitive) == 0 || it.title == n)
            return i;
    }
    return 0;
}

QueryClass::Kind QueryClass::KindOf(int item) const {
    switch (Picture::of(GetItem(item).picture).type()) {
        case Picture::Type::Date:
            return Kind::Date;
        case Picture::Type::Number:
        case Picture::Type::Time:
            return Kind::Number;
        default:
            return Kind::Text;
    }
}

std::vector<QueryOp> QueryClass::Operators(int item) const {
    if (item < 1 || item > Items())
        return {};
    if (KindOf(item) == Kind::Text)
        return {QueryOp::Contains, QueryOp::BeginsWith, QueryOp::Equal,        QueryOp::NotEqual,
                QueryOp::Greater,  QueryOp::Less,       QueryOp::GreaterEqual, QueryOp::LessEqual};
    return {QueryOp::Equal, QueryOp::NotEqual,     QueryOp::Greater,
            QueryOp::Less,  QueryOp::GreaterEqual, QueryOp::LessEqual};
}

// ---------------------------------------------------------------------------
// Conditions

void QueryClass::ClearQuery() {
    conditions_.clear();
}

bool QueryClass::AddCondition(int item, QueryOp op, const Value& value) {
    const auto ops = Operators(item);
    if (std::find(ops.begin(), ops.end(), op) == ops.end())
        return false;
    Value v;
    switch (KindOf(item)) {
        case Kind::Text:
            v = Value(CLIP(value.toText()));
            if (v.toText().isEmpty())
                return false;
            break;
        case Kind::Date: {
            bool ok = true;
            v = value.isText() ? DEFORMAT(value.toText().trimmed(), GetItem(item).picture, &ok)
                               : Value(value.toInt());
            if (!ok || v.isText())
                return false;
            if (v.toInt() <= 0 || v.toInt() > DATE::kMaxDay)
                return false;
            break;
        }
        case Kind::Number:
            v = Value(value.toReal());
            if (v.toReal() == 0 || !std::isfinite(v.toReal()))
                return false;
            break;
    }
    conditions_.push_back({item, op, v});
    return true;
}

bool QueryClass::SetLimit(int item, QueryOp op, const Value& value) {
    if (item < 1 || item > Items())
        return false;
    const std::vector<Condition> before = conditions_;
    conditions_.erase(std::remove_if(conditions_.begin(), conditions_.end(),
                                     [item](const Condition& c) { return c.item == item; }),
                      conditions_.end());
    if (op == QueryOp::None || value.isZeroOrBlank())
        return true;
    if (!AddCondition(item, op, value)) {
        conditions_ = before;
        return false;
    }
    return true;
}

QueryOp QueryClass::GetLimit(int item, Value* value) const {
    for (const Condition& c : conditions_) {
        if (c.item == item) {
            if (value)
                *value = c.value;
            return c.op;
        }
    }
    return QueryOp::None;
}

// ---------------------------------------------------------------------------
// Texts

QString QueryClass::GetFilter() const {
    compile();
    QStringList parts;
    for (const Condition& c : conditions_) {
        const Item& it = GetItem(c.item);
        const Compiled* x =
            compiled_.size() >= size_t(c.item) ? compiled_[size_t(c.item - 1)].get() : nullptr;
        const Kind kind = KindOf(c.item);
        const QString op = c.op == QueryOp::Equal ? QStringLiteral("=") : opCode(c.op);
        if (kind == Kind::Text) {
            const bool upper = x && x->upper;
            const QString v = literal(upper ? c.value.toText().toUpper() : c.value.toText());
            if (c.op == QueryOp::Contains)
                parts << QStringLiteral("INSTR(%1,%2)>0").arg(v, it.expression);
            else if (c.op == QueryOp::BeginsWith)
                parts << QStringLiteral("INSTR(%1,%2)=1").arg(v, it.expression);
            else
                parts << QStringLiteral("%1 %2 %3").arg(it.expression, op, v);
            continue;
        }
        // Dates and numbers compare as numbers: the field itself, not its text.
        const QString lhs = x && x->field.valid() ? x->fieldName : it.expression;
        const QString v = kind == Kind::Date ? QString::number(c.value.toInt()) : c.value.toText();
        if (kind == Kind::Date && ordering(c.op))
            parts << QStringLiteral("(%1 <> 0 AND %1 %2 %3)").arg(lhs, op, v);
        else
            parts << QStringLiteral("%1 %2 %3").arg(lhs, op, v);
    }
    return parts.join(QStringLiteral(" AND "));
}

QString QueryClass::Text() const {
    QStringList out;
    for (const Condition& c : conditions_) {
        QString v;
        switch (KindOf(c.item)) {
            case Kind::Text:
                v = c.value.toText();
                break;
            case Kind::Date:
                v = rt::isoDate(LONG(c.value.toInt()));
                break;
            case Kind::Number:
                v = QString::number(c.value.toReal(), 'g', 17);
                break;
        }
        out << escaped(GetItem(c.item).expression) + u'|' + opCode(c.op) + u'|' + escaped(v);
    }
    return out.join(u';');
}

bool QueryClass::SetText(QStringView text) {
    std::vector<Condition> read;
    const std::vector<Condition> before = conditions_;
    conditions_.clear();
    bool ok = true;
    for (QStringView part : text.split(u';', Qt::SkipEmptyParts)) {
        const auto f = part.split(u'|');
        if (f.size() != 3) {
            ok = false;
            break;
        }
        const int item = ItemOf(unescaped(f[0]));
        const QueryOp op = opFromCode(f[1]);
        const QString v = unescaped(f[2]);
        Value value;
        if (item > 0 && KindOf(item) == Kind::Date)
            value = Value(std::int64_t(rt::dayOfIso(v)));
        else if (item > 0 && KindOf(item) == Kind::Number)
            value = Value(v.toDouble());
        else
            value = Value(v);
        if (item == 0 || !AddCondition(item, op, value)) {
            ok = false;
            break;
        }
    }
    if (!ok)
        conditions_ = before;
    return ok;
}

// ---------------------------------------------------------------------------
// Evaluation

void QueryClass::SetTable(const TableFile* table) {
    if (table != table_)
        compiledFor_ = false;
    table_ = table;
}

void QueryClass::compile() const {
    if (compiledFor_ && compiled_.size() == items_.size())
        return;
    static const QRegularExpression upperCall(QStringLiteral("^UPPER\\s*\\((.*)\\)$"),
                                              QRegularExpression::CaseInsensitiveOption);
    compiled_.clear();
    for (const Item& it : items_) {
        auto x = std::make_unique<Compiled>();
        QString inner = it.expression;
        if (const auto m = upperCall.match(it.expression); m.hasMatch()) {
            x->upper = true;
            inner = m.captured(1).trimmed();
        }
        QString why;
        x->expression = Expression::parse(it.expression, table_, &why);
        if (!x->expression) {
            report(errors_, QStringLiteral("Поле запроса «%1» не может быть вычислено: %2.")
                                .arg(it.title, why));
        } else if (auto f = Expression::parse(inner, table_); f && f->field().valid()) {
            x->field = f->field();
            x->fieldName = inner;
        }
        compiled_.push_back(std::move(x));
    }
    compiledFor_ = true;
}

bool QueryClass::Matches() const {
    return matches(conditions_);
}

bool QueryClass::matches(const std::vector<Condition>& conditions) const {
    compile();
    for (const Condition& c : conditions) {
        const Compiled& x = *compiled_[size_t(c.item - 1)];
        Value got;
        if (x.field.valid())
            got = x.field.get();
        else if (x.expression)
            got = x.expression->evaluate();
        else
            return false;  // an item that cannot be read meets nothing
        if (KindOf(c.item) == Kind::Text) {
            QString have = got.toText();
            QString want = c.value.toText();
            if (x.upper) {
                have = have.toUpper();
                want = want.toUpper();
            }
            have.truncate(rt::clippedLength(have));
            bool ok = true;
            switch (c.op) {
                case QueryOp::Contains:
                    ok = have.contains(want);
                    break;
                case QueryOp::BeginsWith:
                    ok = have.startsWith(want);
                    break;
                default: {
                    const int r = rt::compareText(have, want);
                    ok = c.op == QueryOp::Equal          ? r == 0
                         : c.op == QueryOp::NotEqual     ? r != 0
                         : c.op == QueryOp::Greater      ? r > 0
                         : c.op == QueryOp::Less         ? r < 0
                         : c.op == QueryOp::GreaterEqual ? r >= 0
                                                         : r <= 0;
                }
            }
            if (!ok)
                return false;
            continue;
        }
        const double have = got.isText() ? rt::textToNumber(got.toText()) : got.toReal();
        const double want = c.value.toReal();
        if (KindOf(c.item) == Kind::Date && ordering(c.op) && have == 0)
            return false;
        const bool ok = c.op == QueryOp::Equal          ? have == want
                        : c.op == QueryOp::NotEqual     ? have != want
                        : c.op == QueryOp::Greater      ? have > want
                        : c.op == QueryOp::Less         ? have < want
                        : c.op == QueryOp::GreaterEqual ? have >= want
                                                        : have <= want;
        if (!ok)
            return false;
    }
    return true;
}

std::function<bool()> QueryClass::Apply(ViewClass& view) const {
    compile();
    std::vector<Condition> rest;
    for (const Condition& c : conditions_) {
        const Compiled& x = *compiled_[size_t(c.item - 1)];
        const FieldRef& f = x.field;
        const Kind kind = KindOf(c.item);
        const bool numeric = f.kind != ::Kind::String && f.kind != ::Kind::CString;
        if (f.valid() && kind == Kind::Text && f.isText()) {
            view.addCondition(f, viewCompare(c.op), c.value, x.upper);
        } else if (f.valid() && kind == Kind::Date &&
                   (f.kind == ::Kind::Date || f.kind == ::Kind::Long)) {
            if (ordering(c.op))
                view.addCondition(f, ViewClass::Compare::NotEqual, Value(0));
            view.addCondition(f, viewCompare(c.op), c.value);
        } else if (f.valid() && kind == Kind::Number && numeric && f.kind != ::Kind::Date) {
            view.addCondition(f, viewCompare(c.op), c.value);
        } else {
            rest.push_back(c);
        }
    }
    if (rest.empty())
        return {};
    // The rest is tested row by row, against the conditions as they are now:
    // a query changed later takes effect when it is applied again.
    return [this, rest] { return matches(rest); };
}

// ---------------------------------------------------------------------------
// The user

bool QueryClass::Ask() {
    if (!visual_)
        return false;
    if (!visual_->Ask(*this))
        return false;
    if (!IsEmpty())
        SaveLast();
    return true;
}

// ---------------------------------------------------------------------------
// Saved queries

void QueryClass::readSaved(QStringList* names, QStringList* texts) const {
    if (!ini_ || family_.isEmpty())
        return;
    const int n = ini_->Fetch(family_, kCount, u"0").toInt();
    for (int i = 1; i <= n; ++i) {
        const QString name = ini_->Fetch(family_, nameKey(i)).trimmed();
        if (name.isEmpty())
            continue;
        *names << name;
        *texts << ini_->Fetch(family_, textKey(i));
    }
}

void QueryClass::writeSaved(const QStringList& names, const QStringList& texts) {
    if (!ini_ || family_.isEmpty())
        return;
    const int old = ini_->Fetch(family_, kCount, u"0").toInt();
    for (int i = 0; i < names.size(); ++i) {
        ini_->Update(family_, nameKey(i + 1), names[i]);
        ini_->Update(family_, textKey(i + 1), texts[i]);
    }
    for (int i = int(names.size()) + 1; i <= old; ++i) {
        ini_->DeleteEntry(family_, nameKey(i));
        ini_->DeleteEntry(family_, textKey(i));
    }
    ini_->Update(family_, kCount, QString::number(names.size()));
}

QStringList QueryClass::SavedQueries() const {
    QStringList names, texts;
    readSaved(&names, &texts);
    return names;
}

bool QueryClass::Save(QStringView name) {
    // A name is one line, and the query window lists names between '|'.
    QString n = name.toString().simplified();
    n.replace(u'|', u'/');
    if (n.isEmpty() || !ini_ || family_.isEmpty())
        return false;
    QStringList names, texts;
    readSaved(&names, &texts);
    const QString text = Text();
    bool replaced = false;
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].compare(n, Qt::CaseInsensitive) == 0) {
            names[i] = n;
            texts[i] = text;
            replaced = true;
        }
    }
    if (!replaced) {
        names << n;
        texts << text;
    }
    writeSaved(names, texts);
    return true;
}

bool QueryClass::Restore(QStringView name) {
    QStringList names, texts;
    readSaved(&names, &texts);
    const QString n = name.toString().simplified();
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].compare(n, Qt::CaseInsensitive) == 0)
            return SetText(texts[i]);
    }
    return false;
}

void QueryClass::Delete(QStringView name) {
    QStringList names, texts;
    readSaved(&names, &texts);
    const QString n = name.toString().simplified();
    for (int i = int(names.size()) - 1; i >= 0; --i) {
        if (names[i].compare(n, Qt::CaseInsensitive) == 0) {
            names.removeAt(i);
            texts.removeAt(i);
        }
    }
    writeSaved(names, texts);
}

void QueryClass::SaveLast() {
    if (ini_ && !family_.isEmpty())
        ini_->Update(family_, kLast, Text());
}

bool QueryClass::RestoreLast() {
    if (!HasLast())
        return false;
    return SetText(ini_->Fetch(family_, kLast));
}

bool QueryClass::HasLast() const {
    return ini_ && !family_.isEmpty() && !ini_->Fetch(family_, kLast).trimmed().isEmpty();
}

// ---------------------------------------------------------------------------

void QueryListClass::RemoveLimit(int n) {
    if (n >= 1 && n <= int(conditions_.size()))
        conditions_.erase(conditions_.begin() + (n - 1));
}

QueryVisual::~QueryVisual() = default;

}  // namespace lst
