#pragma once
// Display pictures: how a value is shown in a control, a list cell or a report,
// and how text typed by the user is read back into a value.
//
//   @s60 @S32        text of 60 (32) characters
//   @n_7 @n_7b @n3   numbers: width, "_" groups thousands, "b" blank when zero,
//   @n-8 @n8.2 @N2   "-" leading sign, "." decimal places, "N" = "n"
//   @d6 @d6.b @D17   dates: "6" is dd.mm.yyyy (a separator modifier . / - _ or
//                    blank follows), "17" the user's short date form (the
//                    program's users are Russian: dd.mm.yyyy); "b" blank when zero
//   @t7 @T7          times: "7" the user's short time form, "1" hh:mm, "4" hh:mm:ss
//   @p<<#p           pattern: "<" a digit or blank, "#" a digit, other characters
//                    as they stand

#include <QLocale>
#include <QString>
#include <QStringView>

#include "values.h"

class Picture {
  public:
    enum class Type { Text, Number, Date, Time, Pattern, Invalid };

    explicit Picture(QStringView text);
    // A parsed picture from a process-wide cache; safe from any thread.
    static const Picture& of(QStringView text);

    bool valid() const { return type_ != Type::Invalid; }
    Type type() const { return type_; }
    const QString& text() const { return text_; }
    // Characters the formatted value takes at most.
    int width() const { return width_; }
    // Numbers, dates and times sit at the right of a cell; text at the left.
    bool rightAligned() const { return type_ == Type::Number || type_ == Type::Pattern; }

    QString format(const Value& v) const;
    // As format, but a number too long for the picture shows all its digits
    // (grouped as the picture groups them) instead of "#####": for numbers the
    // program counts itself, such as a report's line and page numbers.
    QString formatWhole(const Value& v) const;
    // Reads what the user typed. On failure returns false and puts a message
    // fit for the user (in Russian) into *error; *out is left alone.
    bool parse(QStringView text, Value* out, QString* error = nullptr) const;

  private:
    QString format(const Value& v, bool whole) const;

    QString text_;
    Type type_ = Type::Invalid;
    int width_ = 0;
    // numbers
    bool grouping_ = false;
    bool blankZero_ = false;
    bool leadingSign_ = false;
    int places_ = 0;
    QChar groupChar_ = u' ';
    QChar pointChar_ = u'.';
    // dates and times
    int form_ = 0;
    QChar dateSep_ = u'.';
    // patterns
    QString pattern_;
};

namespace rt {
// The locale of the program's dates, times and of Qt's own dialogs: Russian,
// whatever the system's locale is.
QLocale programLocale();
}  // namespace rt

// Formats a value through a picture given as text.
QString FORMAT(const Value& v, QStringView picture);
// Reads text through a picture; on failure the result is the value given back
// unchanged and *ok is false.
Value DEFORMAT(QStringView text, QStringView picture, bool* ok = nullptr);
