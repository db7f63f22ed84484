#include "driver.h"

namespace tbl {

namespace {
QString column(const TableFile& f, int key, int part) {
    return keyColumn(f, key, part);
}
}  // namespace

void Seeker::setOrder(int keyIndex) {
    key_ = keyIndex;
}

void Seeker::setFields(std::vector<int> fields) {
    fields_ = std::move(fields);
}

void Seeker::addCondition(const QString& sql, const Args& args) {
    conditions_.push_back(sql);
    conditionArgs_.insert(conditionArgs_.end(), args.begin(), args.end());
}

void Seeker::clearConditions() {
    conditions_.clear();
    conditionArgs_.clear();
}

int Seeker::fieldCount() const {
    return fields_.empty() ? int(file_.fields().size()) : int(fields_.size());
}

QString Seeker::selectList() const {
    QStringList cols{QStringLiteral("\"_ptr\"")};
    const auto& fs = file_.fields();
    if (fields_.empty()) {
        for (const auto& f : fs)
            cols << quoted(f.name);
    } else {
        for (int i : fields_)
            cols << quoted(fs[size_t(i)].name);
    }
    if (key_ >= 0) {
        for (size_t i = 0; i < file_.key(key_).parts.size(); ++i)
            cols << column(file_, key_, int(i));
    }
    return QStringLiteral("SELECT ") + cols.join(u',') + QStringLiteral(" FROM ") +
           quoted(file_.name());
}

QString Seeker::whereBase() const {
    QStringList w;
    for (const QString& c : conditions_)
        w << u'(' + c + u')';
    if (key_ >= 0 && file_.key(key_).has(KeyFlag::Optional))
        w << optionalCondition(file_, file_.key(key_));
    return w.join(QStringLiteral(" AND "));
}

QString Seeker::orderBy(bool forward, int fromPart) const {
    QStringList o;
    if (key_ >= 0) {
        const auto& parts = file_.key(key_).parts;
        for (int i = fromPart; i < int(parts.size()); ++i) {
            const bool asc = forward != parts[size_t(i)].descending;
            o << column(file_, key_, i) + (asc ? QStringLiteral(" ASC") : QStringLiteral(" DESC"));
        }
    }
    o << (forward ? QStringLiteral("\"_ptr\" ASC") : QStringLiteral("\"_ptr\" DESC"));
    return QStringLiteral(" ORDER BY ") + o.join(u',');
}

QString Seeker::cmp(int part, bool forward, bool inclusive) const {
    const bool up = forward != file_.key(key_).parts[size_t(part)].descending;
    return column(file_, key_, part) + (up ? u'>' : u'<') +
           (inclusive ? QStringLiteral("=?") : QStringLiteral("?"));
}

void Seeker::Row::fill() const {
    const auto& fs = seeker->file_.fields();
    if (seeker->fields_.empty()) {
        for (size_t i = 0; i < fs.size(); ++i)
            readField(st, int(i + 1), fs[i].ref);
    } else {
        for (size_t i = 0; i < seeker->fields_.size(); ++i)
            readField(st, int(i + 1), fs[size_t(seeker->fields_[i])].ref);
    }
}

Value Seeker::Row::value(int field) const {
    const auto& fs = seeker->file_.fields();
    if (seeker->fields_.empty())
        return readValue(st, field + 1, fs[size_t(field)].ref);
    for (size_t i = 0; i < seeker->fields_.size(); ++i) {
        if (seeker->fields_[i] == field)
            return readValue(st, int(i + 1), fs[size_t(field)].ref);
    }
    return {};
}

std::vector<Value> Seeker::keysOf(RecordPointer ptr) {
    std::vector<Value> out;
    if (key_ < 0)
        return out;
    QStringList cols;
    const auto& fs = file_.fields();
    for (size_t i = 0; i < file_.key(key_).parts.size(); ++i)
        cols << column(file_, key_, int(i));
    Connection::Lease st(file_.connection(), QStringLiteral("SELECT ") + cols.join(u',') +
                                                 QStringLiteral(" FROM ") + quoted(file_.name()) +
                                                 QStringLiteral(" WHERE \"_ptr\"=?"));
    if (!st)
        return out;
    sqlite3_bind_int64(st, 1, ptr);
    if (sqlite3_step(st) == SQLITE_ROW) {
        int c = 0;
        for (const auto& p : file_.key(key_).parts)
            out.push_back(readValue(st, c++, fs[size_t(p.field)].ref));
    }
    return out;
}

int Seeker::readOne(const QString& sql, const Args& args, int limit, int* budget,
                    const Sink& sink) {
    Connection::Lease st(file_.connection(), sql);
    if (!st)
        return -1;
    int i = 1;
    for (const Arg& a : args)
        bind(st, i++, a);
    sqlite3_bind_int64(st, i, limit);
    const auto& fs = file_.fields();
    const int keyCol = fieldCount() + 1;
    int n = 0;
    int rc;
    Position pos;  // one for all rows: no allocation per row
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        pos.keys.clear();
        pos.ptr = sqlite3_column_int64(st, 0);
        if (key_ >= 0) {
            int c = keyCol;
            for (const auto& p : file_.key(key_).parts)
                pos.keys.push_back(readValue(st, c++, fs[size_t(p.field)].ref));
        }
        ++n;
        --*budget;
        if (!sink(pos, Row{this, st, pos.ptr}) || *budget == 0) {
            *budget = 0;
            return n;
        }
    }
    if (rc != SQLITE_DONE) {
        file_.connection()->setError(rc);
        return -1;
    }
    return n;
}

int Seeker::read(const Position* from, bool forward, bool inclusive, int limit, const Sink& sink) {
    if (!file_.ensureOpen())
        return -1;
    rt::clearError();
    int budget = limit < 0 ? -1 : limit;
    if (budget == 0)
        return 0;
    const QString base = whereBase();
    const QString select = selectList();
    auto where = [&](const QString& extra) {
        QStringList w;
        if (!base.isEmpty())
            w << base;
        if (!extra.isEmpty())
            w << extra;
        return w.isEmpty() ? QString()
                           : QStringLiteral(" WHERE ") + w.join(QStringLiteral(" AND "));
    };
    const QString limitClause = QStringLiteral(" LIMIT ?");
    if (!from) {
        return readOne(select + where({}) + orderBy(forward, 0) + limitClause, conditionArgs_,
                       budget, &budget, sink);
    }
    const int k = key_ >= 0 ? int(file_.key(key_).parts.size()) : 0;
    std::vector<Value> keys = from->keys;
    // The leading values of the key alone (no pointer) locate the first row at or
    // after them.
    const bool prefix = from->ptr == 0 && !keys.empty() && int(keys.size()) < k;
    if (!prefix && int(keys.size()) != k)
        keys = keysOf(from->ptr);
    if (!prefix && int(keys.size()) != k)
        return 0;  // the record of the position is gone and its order is unknown
    int total = 0;
    const int top = prefix ? int(keys.size()) - 1 : k;
    for (int level = top; level >= 0 && budget != 0; --level) {
        QStringList c;
        Args args = conditionArgs_;
        for (int i = 0; i < level && i < k; ++i) {
            c << column(file_, key_, i) + QStringLiteral("=?");
            args.push_back(keyArg(file_, key_, i, keys[size_t(i)]));
        }
        QString order;
        if (level == k) {
            c << (forward ? QStringLiteral("\"_ptr\">") : QStringLiteral("\"_ptr\"<")) +
                     (inclusive ? QStringLiteral("=?") : QStringLiteral("?"));
            args.push_back(Arg::integer(from->ptr));
            order = forward ? QStringLiteral(" ORDER BY \"_ptr\" ASC")
                            : QStringLiteral(" ORDER BY \"_ptr\" DESC");
        } else {
            c << cmp(level, forward, prefix && level == top && inclusive);
            args.push_back(keyArg(file_, key_, level, keys[size_t(level)]));
            order = orderBy(forward, level);
        }
        const int n = readOne(select + where(c.join(QStringLiteral(" AND "))) + order + limitClause,
                              args, budget, &budget, sink);
        if (n < 0)
            return -1;
        total += n;
    }
    return total;
}

std::int64_t Seeker::count() {
    if (!file_.ensureOpen())
        return -1;
    const QString base = whereBase();
    Connection::Lease st(file_.connection(),
                         QStringLiteral("SELECT count(*) FROM ") + quoted(file_.name()) +
                             (base.isEmpty() ? QString() : QStringLiteral(" WHERE ") + base));
    if (!st)
        return -1;
    int i = 1;
    for (const Arg& a : conditionArgs_)
        bind(st, i++, a);
    return sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
}

Position Seeker::positionOfBuffer(RecordPointer ptr) const {
    Position p;
    p.ptr = ptr;
    if (key_ >= 0) {
        const auto& parts = file_.key(key_).parts;
        for (size_t i = 0; i < parts.size(); ++i) {
            const FieldRef& f = file_.fields()[size_t(parts[i].field)].ref;
            p.keys.push_back(keyValue(file_, key_, int(i), f.get()));
        }
    }
    return p;
}

}  // namespace tbl
