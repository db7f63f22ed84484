#pragma once
// Expressions given as text, as sort orders and queries use them:
//   "200-FuzzyMatch(FuzzyQuery9,KAL:name&' '&KAL:iD)"   "UPPER(KAL:wordkey)"
// Names are fields of the table the expression is read against ("KAL:name",
// whatever its case), names bound with BIND on the calling thread, and the
// functions UPPER, LOWER, CLIP, LEN and INSTR(part, text) (the first place of
// the part in the text, from 1; 0 when it is not in it).
//
// Operators, loosest first: OR; AND; NOT; = <> < > <= >= (texts compare as the
// runtime compares them); & (joins texts); + -; * / %; unary - +. Literals:
// numbers, and texts in single quotes ('' is a quote).
//
// An expression is read once and evaluated many times; each evaluation reads
// the bound variables and the record buffer as they are at that moment.

#include <QString>
#include <QStringView>
#include <functional>
#include <memory>
#include <vector>

#include "core/values.h"

class TableFile;

namespace lst {

using BoundFunction = std::function<Value(const std::vector<Value>&)>;
// A procedure that scores a text against another (the fuzzy match).
using TextScore = int (*)(QStringView, QStringView);

class Expression {
  public:
    ~Expression();
    Expression(const Expression&) = delete;
    Expression& operator=(const Expression&) = delete;

    // Reads `text`; names of `table`'s fields may appear in it. Null on a fault,
    // and *error says what.
    static std::unique_ptr<Expression> parse(QStringView text, const TableFile* table,
                                             QString* error = nullptr);
    Value evaluate() const;
    // A plain field of the table when the expression is nothing else.
    FieldRef field() const;
    // "base - FuzzyMatch(query, text)", FuzzyMatch bound as the platform's
    // fuzzy match (core/fuzzy.h) and the text fields and literals joined with &:
    // what an order by it needs to be computed without this interpreter.
    struct Match {
        std::int64_t base = 0;
        FieldRef query;
        std::vector<FieldRef> fields;   // per part: the field, or not valid
        std::vector<QString> literals;  // per part: the literal of a part with no field
    };
    bool match(Match* out) const;

    struct Node;

  private:
    Expression() = default;
    std::unique_ptr<Node> root_;
};

}  // namespace lst

// Names for expressions, bound on the calling thread.
void BIND(const QString& name, FieldRef variable);
void BIND(const QString& name, lst::BoundFunction function);
void BIND(const QString& name, lst::TextScore procedure);
void UNBIND(const QString& name);
