#include "step.h"

#include <algorithm>
#include <cmath>

void StepClass::Init(int options) {
    options_ = options;
}

void StepClass::Kill() {}

void StepLongClass::Kill() {
    low_ = high_ = 0;
    StepClass::Kill();
}

void StepLongClass::SetLimit(const Value& low, const Value& high) {
    low_ = std::min(low.toInt(), high.toInt());
    high_ = std::max(low.toInt(), high.toInt());
}

int StepLongClass::GetPercentile(const Value& v) const {
    if (high_ <= low_)
        return 0;
    // In doubles: the span of two LONGs far apart does not overflow.
    const double p = double(v.toInt() - low_) * 100.0 / double(high_ - low_);
    return int(std::clamp(std::lround(p), 0L, 100L));
}

Value StepLongClass::GetValue(int percentile) const {
    const int p = std::clamp(percentile, 0, 100);
    return Value(low_ + std::int64_t(std::llround(double(high_ - low_) * p / 100.0)));
}
