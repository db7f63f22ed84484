#include "expression.h"

#include <map>

#include "core/fuzzy.h"
#include "table.h"

namespace {

struct Binding {
    FieldRef variable;
    lst::BoundFunction function;
    lst::TextScore score = nullptr;
};

std::map<QString, Binding>& bindings() {
    thread_local std::map<QString, Binding> b;
    return b;
}

}  // namespace

void BIND(const QString& name, FieldRef variable) {
    bindings()[name.toUpper()] = Binding{variable, nullptr};
}

void BIND(const QString& name, lst::BoundFunction function) {
    bindings()[name.toUpper()] = Binding{FieldRef{}, std::move(function)};
}

void BIND(const QString& name, lst::TextScore procedure) {
    bindings()[name.toUpper()] =
        Binding{FieldRef{},
                [procedure](const std::vector<Value>& v) {
                    return Value(procedure(v.size() > 0 ? v[0].toText() : QString(),
                                           v.size() > 1 ? v[1].toText() : QString()));
                },
                procedure};
}

void UNBIND(const QString& name) {
    bindings().erase(name.toUpper());
}

namespace lst {

struct Expression::Node {
    enum class Op {
        Literal,
        Field,
        Call,
        Neg,
        Not,
        Add,
        Sub,
        Mul,
        Div,
        Mod,
        Cat,
        Eq,
        Ne,
        Lt,
        Gt,
        Le,
        Ge,
        And,
        Or
    };
    Op op = Op::Literal;
    Value literal;
    FieldRef field;
    BoundFunction function;
    TextScore score = nullptr;
    std::vector<std::unique_ptr<Node>> args;

    Value eval() const {
        switch (op) {
            case Op::Literal:
                return literal;
            case Op::Field:
                return field.get();
            case Op::Call: {
                std::vector<Value> v;
                v.reserve(args.size());
                for (const auto& a : args)
                    v.push_back(a->eval());
                return function(v);
            }
            case Op::Neg: {
                const Value a = args[0]->eval();
                if (a.type() == Value::Type::Integer || (a.isText() && isWhole(a.toReal())))
                    return Value(-a.toInt());
                return Value(-a.toReal());
            }
            case Op::Not:
                return Value(truth(args[0]->eval()) ? 0 : 1);
            case Op::And:
                return Value(truth(args[0]->eval()) && truth(args[1]->eval()) ? 1 : 0);
            case Op::Or:
                return Value(truth(args[0]->eval()) || truth(args[1]->eval()) ? 1 : 0);
            case Op::Cat:
                return Value(args[0]->eval().toText() + args[1]->eval().toText());
            default:
                break;
        }
        const Value a = args[0]->eval();
        const Value b = args[1]->eval();
        switch (op) {
            case Op::Add:
            case Op::Sub:
            case Op::Mul: {
                if (whole(a) && whole(b)) {
                    const std::int64_t x = a.toInt(), y = b.toInt();
                    return Value(op == Op::Add ? x + y : (op == Op::Sub ? x - y : x * y));
                }
                const double x = a.toReal(), y = b.toReal();
                return Value(op == Op::Add ? x + y : (op == Op::Sub ? x - y : x * y));
            }
            case Op::Div: {
                const double y = b.toReal();
                return y == 0 ? Value(0) : Value(a.toReal() / y);
            }
            case Op::Mod: {
                const std::int64_t y = b.toInt();
                return y == 0 ? Value(0) : Value(a.toInt() % y);
            }
            case Op::Eq:
                return Value(compare(a, b) == 0 ? 1 : 0);
            case Op::Ne:
                return Value(compare(a, b) != 0 ? 1 : 0);
            case Op::Lt:
                return Value(compare(a, b) < 0 ? 1 : 0);
            case Op::Gt:
                return Value(compare(a, b) > 0 ? 1 : 0);
            case Op::Le:
                return Value(compare(a, b) <= 0 ? 1 : 0);
            case Op::Ge:
                return Value(compare(a, b) >= 0 ? 1 : 0);
            default:
                return {};
        }
    }
    static bool isWhole(double d) { return d == double(std::int64_t(d)); }
    static bool whole(const Value& v) {
        return v.type() == Value::Type::Integer || (v.isText() && isWhole(v.toReal()));
    }
    static bool truth(const Value& v) { return !v.isZeroOrBlank(); }
};

namespace {

using Node = Expression::Node;
using Op = Node::Op;

class Parser {
  public:
    Parser(QStringView s, const TableFile* table) : s_(s), table_(table) {}

    std::unique_ptr<Node> parse(QString* error) {
        auto n = orExpr();
        skip();
        if (n && i_ < s_.size())
            fail(QStringLiteral("\"%1\" after the end of the expression").arg(s_[i_]));
        if (!error_.isEmpty()) {
            if (error)
                *error = error_;
            return nullptr;
        }
        return n;
    }

  private:
    void fail(const QString& what) {
        if (error_.isEmpty())
            error_ = QStringLiteral("%1 (character %2)").arg(what).arg(i_ + 1);
    }
    void skip() {
        while (i_ < s_.size() && s_[i_].isSpace())
            ++i_;
    }
    bool take(QStringView t) {
        skip();
        if (s_.mid(i_).startsWith(t, Qt::CaseInsensitive)) {
            // A word operator is a whole word.
            if (t[0].isLetter() && i_ + t.size() < s_.size() &&
                (s_[i_ + t.size()].isLetterOrNumber() || s_[i_ + t.size()] == u'_'))
                return false;
            i_ += t.size();
            return true;
        }
        return false;
    }
    static std::unique_ptr<Node> make(Op op, std::unique_ptr<Node> a, std::unique_ptr<Node> b) {
        auto n = std::make_unique<Node>();
        n->op = op;
        n->args.push_back(std::move(a));
        if (b)
            n->args.push_back(std::move(b));
        return n;
    }

    std::unique_ptr<Node> orExpr() {
        auto n = andExpr();
        while (n && take(u"OR"))
            n = make(Op::Or, std::move(n), andExpr());
        return ok(std::move(n));
    }
    std::unique_ptr<Node> andExpr() {
        auto n = notExpr();
        while (n && take(u"AND"))
            n = make(Op::And, std::move(n), notExpr());
        return ok(std::move(n));
    }
    std::unique_ptr<Node> notExpr() {
        if (take(u"NOT"))
            return ok(make(Op::Not, notExpr(), nullptr));
        return comparison();
    }
    std::unique_ptr<Node> comparison() {
        auto n = concat();
        static const std::pair<const char16_t*, Op> ops[] = {{u"<>", Op::Ne}, {u"<=", Op::Le},
                                                             {u">=", Op::Ge}, {u"=", Op::Eq},
                                                             {u"<", Op::Lt},  {u">", Op::Gt}};
        while (n) {
            bool found = false;
            for (const auto& [t, op] : ops) {
                if (take(t)) {
                    n = make(op, std::move(n), concat());
                    found = true;
                    break;
                }
            }
            if (!found)
                break;
        }
        return ok(std::move(n));
    }
    std::unique_ptr<Node> concat() {
        auto n = additive();
        while (n && take(u"&"))
            n = make(Op::Cat, std::move(n), additive());
        return ok(std::move(n));
    }
    std::unique_ptr<Node> additive() {
        auto n = term();
        while (n) {
            if (take(u"+"))
                n = make(Op::Add, std::move(n), term());
            else if (take(u"-"))
                n = make(Op::Sub, std::move(n), term());
            else
                break;
        }
        return ok(std::move(n));
    }
    std::unique_ptr<Node> term() {
        auto n = unary();
        while (n) {
            if (take(u"*"))
                n = make(Op::Mul, std::move(n), unary());
            else if (take(u"/"))
                n = make(Op::Div, std::move(n), unary());
            else if (take(u"%"))
                n = make(Op::Mod, std::move(n), unary());
            else
                break;
        }
        return ok(std::move(n));
    }
    std::unique_ptr<Node> unary() {
        if (take(u"-"))
            return ok(make(Op::Neg, unary(), nullptr));
        if (take(u"+"))
            return unary();
        return primary();
    }
    // A node whose operands all parsed, else null.
    static std::unique_ptr<Node> ok(std::unique_ptr<Node> n) {
        if (!n)
            return nullptr;
        for (const auto& a : n->args) {
            if (!a)
                return nullptr;
        }
        return n;
    }

    std::unique_ptr<Node> primary() {
        skip();
        if (i_ >= s_.size()) {
            fail(QStringLiteral("the expression ends too early"));
            return nullptr;
        }
        const QChar c = s_[i_];
        if (c == u'(') {
            ++i_;
            auto n = orExpr();
            if (!take(u")")) {
                fail(QStringLiteral("\")\" expected"));
                return nullptr;
            }
            return n;
        }
        if (c == u'\'') {
            QString text;
            ++i_;
            for (;;) {
                if (i_ >= s_.size()) {
                    fail(QStringLiteral("a text not closed with a quote"));
                    return nullptr;
                }
                if (s_[i_] == u'\'') {
                    if (i_ + 1 < s_.size() && s_[i_ + 1] == u'\'') {
                        text += u'\'';
                        i_ += 2;
                        continue;
                    }
                    ++i_;
                    break;
                }
                text += s_[i_++];
            }
            auto n = std::make_unique<Node>();
            n->literal = Value(text);
            return n;
        }
        if (c.isDigit() || c == u'.') {
            const qsizetype start = i_;
            while (i_ < s_.size() && (s_[i_].isDigit() || s_[i_] == u'.'))
                ++i_;
            const QString t = s_.mid(start, i_ - start).toString();
            bool okNumber = false;
            auto n = std::make_unique<Node>();
            if (t.contains(u'.'))
                n->literal = Value(t.toDouble(&okNumber));
            else
                n->literal = Value(std::int64_t(t.toLongLong(&okNumber)));
            if (!okNumber) {
                fail(QStringLiteral("\"%1\" is not a number").arg(t));
                return nullptr;
            }
            return n;
        }
        if (c.isLetter() || c == u'_') {
            const qsizetype start = i_;
            while (i_ < s_.size() &&
                   (s_[i_].isLetterOrNumber() || s_[i_] == u'_' || s_[i_] == u':'))
                ++i_;
            const QString name = s_.mid(start, i_ - start).toString();
            skip();
            if (i_ < s_.size() && s_[i_] == u'(')
                return call(name);
            return variable(name);
        }
        fail(QStringLiteral("\"%1\" where a value was expected").arg(c));
        return nullptr;
    }

    std::unique_ptr<Node> call(const QString& name) {
        ++i_;  // "("
        auto n = std::make_unique<Node>();
        n->op = Op::Call;
        if (!take(u")")) {
            for (;;) {
                auto a = orExpr();
                if (!a)
                    return nullptr;
                n->args.push_back(std::move(a));
                if (take(u")"))
                    break;
                if (!take(u",")) {
                    fail(QStringLiteral("\",\" or \")\" expected"));
                    return nullptr;
                }
            }
        }
        const QString upper = name.toUpper();
        const size_t argc = n->args.size();
        auto one = [&](BoundFunction f) -> std::unique_ptr<Node> {
            if (argc != 1) {
                fail(QStringLiteral("%1 takes one value").arg(upper));
                return nullptr;
            }
            n->function = std::move(f);
            return std::move(n);
        };
        if (upper == u"UPPER")
            return one([](const std::vector<Value>& v) { return Value(UPPER(v[0].toText())); });
        if (upper == u"LOWER")
            return one([](const std::vector<Value>& v) { return Value(LOWER(v[0].toText())); });
        if (upper == u"CLIP")
            return one([](const std::vector<Value>& v) { return Value(CLIP(v[0].toText())); });
        if (upper == u"LEN")
            return one(
                [](const std::vector<Value>& v) { return Value(int(v[0].toText().size())); });
        if (upper == u"INSTR") {
            if (argc != 2) {
                fail(QStringLiteral("INSTR takes two values"));
                return nullptr;
            }
            // The first place of a part in a text, from 1; 0 when it is not in it.
            n->function = [](const std::vector<Value>& v) {
                const QString part = v[0].toText();
                return Value(int(v[1].toText().indexOf(part)) + 1);
            };
            return n;
        }
        auto b = bindings().find(upper);
        if (b == bindings().end() || !b->second.function) {
            fail(QStringLiteral("\"%1\" is not a bound procedure").arg(name));
            return nullptr;
        }
        n->function = b->second.function;
        n->score = b->second.score;
        return n;
    }

    std::unique_ptr<Node> variable(const QString& name) {
        auto n = std::make_unique<Node>();
        n->op = Op::Field;
        auto b = bindings().find(name.toUpper());
        if (b != bindings().end() && b->second.variable.valid()) {
            n->field = b->second.variable;
            return n;
        }
        if (table_) {
            const qsizetype colon = name.indexOf(u':');
            const QString prefix = colon >= 0 ? name.left(colon) : QString();
            const QString field = colon >= 0 ? name.mid(colon + 1) : name;
            if (prefix.isEmpty() || prefix.compare(table_->prefix(), Qt::CaseInsensitive) == 0) {
                for (const auto& f : table_->fields()) {
                    if (f.name.compare(field, Qt::CaseInsensitive) == 0) {
                        n->field = f.ref;
                        return n;
                    }
                }
            }
        }
        fail(QStringLiteral("\"%1\" is neither a field nor a bound name").arg(name));
        return nullptr;
    }

    QStringView s_;
    const TableFile* table_;
    qsizetype i_ = 0;
    QString error_;
};

}  // namespace

Expression::~Expression() = default;

std::unique_ptr<Expression> Expression::parse(QStringView text, const TableFile* table,
                                              QString* error) {
    auto root = Parser(text, table).parse(error);
    if (!root)
        return nullptr;
    std::unique_ptr<Expression> e(new Expression);
    e->root_ = std::move(root);
    return e;
}

Value Expression::evaluate() const {
    return root_->eval();
}

FieldRef Expression::field() const {
    return root_->op == Op::Field ? root_->field : FieldRef{};
}

namespace {
// The parts of a text joined with &, left to right.
bool textParts(const Node& n, Expression::Match* out) {
    if (n.op == Op::Cat)
        return textParts(*n.args[0], out) && textParts(*n.args[1], out);
    if (n.op == Op::Field) {
        out->fields.push_back(n.field);
        out->literals.emplace_back();
        return true;
    }
    if (n.op == Op::Literal) {
        out->fields.emplace_back();
        out->literals.push_back(n.literal.toText());
        return true;
    }
    return false;
}
}  // namespace

bool Expression::match(Match* out) const {
    const Node& r = *root_;
    if (r.op != Op::Sub || r.args[0]->op != Op::Literal ||
        r.args[0]->literal.type() != Value::Type::Integer)
        return false;
    const Node& call = *r.args[1];
    if (call.op != Op::Call || call.score != &FuzzyMatch || call.args.size() != 2 ||
        call.args[0]->op != Op::Field)
        return false;
    Match m;
    m.base = r.args[0]->literal.toInt();
    m.query = call.args[0]->field;
    if (!textParts(*call.args[1], &m))
        return false;
    *out = std::move(m);
    return true;
}

}  // namespace lst
