#pragma once
// Step classes place the thumb of a paged list: they map the first order value
// of a row to a place from 0 (top) to 100 (bottom) and back, between the
// order's lowest and highest values. Locators move a list to the row the user
// asks for by typing.

#include <QString>

#include "core/values.h"

namespace lst {

// Options of a step object.
namespace ScrollSort {
enum : int {
    Limits = 1,  // the limits are taken from the data whenever the order is set
};
}

class StepClass {
  public:
    virtual ~StepClass() = default;
    virtual void Init(int options = 0) { options_ = options; }
    int options() const { return options_; }
    virtual void SetLimit(const Value& low, const Value& high) = 0;
    // Where a row whose first order value is `v` lies, 0..100.
    virtual int GetPercentile(const Value& v) const = 0;
    // The order value at a place 0..100.
    virtual Value GetValue(int percentile) const = 0;

  private:
    int options_ = 0;
};

// Whole numbers (codes, dates as day numbers).
class StepLongClass : public StepClass {
  public:
    void SetLimit(const Value& low, const Value& high) override;
    int GetPercentile(const Value& v) const override;
    Value GetValue(int percentile) const override;

  private:
    std::int64_t low_ = 0, high_ = 0;
};

// Real numbers.
class StepRealClass : public StepClass {
  public:
    void SetLimit(const Value& low, const Value& high) override;
    int GetPercentile(const Value& v) const override;
    Value GetValue(int percentile) const override;

  private:
    double low_ = 0, high_ = 0;
};

// A locator: the field it searches and how it reads what is typed.
class LocatorClass {
  public:
    virtual ~LocatorClass() = default;
    // `control`: an entry showing what was typed (0: none); `freeElement`: the
    // field searched; `noCase`: letters match whatever their case.
    virtual void Init(int control, FieldRef freeElement, bool noCase);
    // The value to look for after the user typed `text`; false when the text
    // means nothing for the field (a letter for a number).
    virtual bool TakeKey(const QString& text, Value* target) = 0;
    // Forgets what was typed (a new order, a moved list).
    virtual void Reset() {}

    int Control = 0;
    FieldRef FreeElement;
    bool NoCase = true;
};

// Each keystroke on its own: the first row whose field starts at the typed
// character (or, for a number, is at least the typed digit).
class StepLocatorClass : public LocatorClass {
  public:
    bool TakeKey(const QString& text, Value* target) override;
};

}  // namespace lst
