#pragma once
// Step classes place the thumb of a paged list: they map the first order value
// of a row to a place from 0 (top) to 100 (bottom) and back, between the
// order's lowest and highest values (StepClass and StepLongClass are core's,
// core/step.h). Locators move a list to the row the user asks for by typing.

#include <QString>

#include "core/step.h"
#include "core/values.h"

namespace lst {

// Real numbers.
class StepRealClass : public ::StepClass {
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
