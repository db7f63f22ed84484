#pragma once
// Russian alphabetical order of texts, the same on every machine whatever its
// locale (an index built by one process is read by another): letters compare by
// their lower-case form, Ё right after Е; trailing blanks are ignored. Without
// `noCase`, texts equal but for case are ordered by their code units.

#include <QStringView>

#include "core/values.h"

namespace tbl {

// The order weight of one code unit.
int russianWeight(char16_t c);
int compareRussian(QStringView a, QStringView b, bool noCase);
// Numbers compare as numbers, texts in Russian order, a number before a text.
int compareOrderValues(const Value& a, const Value& b, bool noCase);

}  // namespace tbl
