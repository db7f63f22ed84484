#include "steps.h"

#include <algorithm>
#include <cmath>

namespace lst {

void StepRealClass::SetLimit(const Value& low, const Value& high) {
    low_ = std::min(low.toReal(), high.toReal());
    high_ = std::max(low.toReal(), high.toReal());
}

int StepRealClass::GetPercentile(const Value& v) const {
    if (!(high_ > low_))
        return 0;
    const double p = (v.toReal() - low_) * 100.0 / (high_ - low_);
    return int(std::clamp(std::lround(p), 0L, 100L));
}

Value StepRealClass::GetValue(int percentile) const {
    const int p = std::clamp(percentile, 0, 100);
    return Value(low_ + (high_ - low_) * p / 100.0);
}

void LocatorClass::Init(int control, FieldRef freeElement, bool noCase) {
    Control = control;
    FreeElement = freeElement;
    NoCase = noCase;
}

bool StepLocatorClass::TakeKey(const QString& text, Value* target) {
    if (text.isEmpty() || !FreeElement.valid())
        return false;
    const QChar c = text[0];
    switch (FreeElement.kind) {
        case Kind::String:
        case Kind::CString:
            *target = Value(QString(NoCase ? c.toUpper() : c));
            return true;
        case Kind::Date:
            return false;
        default:
            if (!c.isDigit())
                return false;
            *target = Value(c.digitValue());
            return true;
    }
}

}  // namespace lst
