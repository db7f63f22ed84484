#pragma once
// Step classes map the values of an order onto a scale from 0 to 100 between
// the lowest and the highest value the order holds, and back: a list places
// its thumb by them, a process shows how far its reading has come.

#include "values.h"

// Options of a step object.
namespace ScrollSort {
enum : int {
    Limits = 1,   // the limits are taken from the data whenever the order is set
    Numeric = 4,  // the values are numbers
};
}

class StepClass {
  public:
    virtual ~StepClass() = default;
    virtual void Init(int options = 0);
    // Forgets the limits.
    virtual void Kill();
    int options() const { return options_; }
    // The lowest and highest values of the order (given in either order).
    virtual void SetLimit(const Value& low, const Value& high) = 0;
    // Where `v` lies between the limits, 0..100; 0 while no range is set.
    virtual int GetPercentile(const Value& v) const = 0;
    // The value at a place 0..100.
    virtual Value GetValue(int percentile) const = 0;

  private:
    int options_ = 0;
};

// Whole numbers: codes, record numbers, dates as day numbers.
class StepLongClass : public StepClass {
  public:
    void Kill() override;
    void SetLimit(const Value& low, const Value& high) override;
    int GetPercentile(const Value& v) const override;
    Value GetValue(int percentile) const override;

  private:
    std::int64_t low_ = 0, high_ = 0;
};
