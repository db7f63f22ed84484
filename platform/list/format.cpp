#include "format.h"

#include "core/picture.h"

namespace lst {

namespace {

class Parser {
  public:
    explicit Parser(QStringView text) : s_(text) {}

    bool parse(Format* out, QString* error) {
        Format f;
        int group = -1;
        while (i_ < s_.size()) {
            const QChar c = s_[i_];
            if (c == u'[') {
                if (group >= 0)
                    return fail(error, QStringLiteral("a group inside a group"));
                ++i_;
                Group g;
                g.first = int(f.columns.size());
                f.groups.push_back(g);
                group = int(f.groups.size()) - 1;
                continue;
            }
            if (c == u']') {
                if (group < 0)
                    return fail(error, QStringLiteral("\"]\" without its \"[\""));
                Group& g = f.groups[size_t(group)];
                if (int(f.columns.size()) == g.first)
                    return fail(error, QStringLiteral("a group without columns"));
                g.last = int(f.columns.size()) - 1;
                ++i_;
                if (!groupAttributes(&g, error))
                    return false;
                group = -1;
                continue;
            }
            if (c.isDigit()) {
                Column col;
                col.group = group;
                if (!column(&col, error))
                    return false;
                col.field = f.fields++;
                if (col.colors) {
                    col.colorField = f.fields;
                    f.fields += 4;
                }
                if (col.icon || col.transparentIcon)
                    col.iconField = f.fields++;
                if (col.style)
                    col.styleField = f.fields++;
                f.columns.push_back(std::move(col));
                continue;
            }
            return fail(error, QStringLiteral("\"%1\" where a column's width was expected").arg(c));
        }
        if (group >= 0)
            return fail(error, QStringLiteral("a group not closed with \"]\""));
        if (f.columns.empty())
            return fail(error, QStringLiteral("no columns"));
        *out = std::move(f);
        return true;
    }

  private:
    bool fail(QString* error, const QString& what) const {
        if (error)
            *error = QStringLiteral("%1 (character %2)").arg(what).arg(i_ + 1);
        return false;
    }

    bool atEnd() const { return i_ >= s_.size(); }

    bool number(int* out) {
        qsizetype start = i_;
        long long v = 0;
        while (!atEnd() && s_[i_].isDigit()) {
            v = v * 10 + s_[i_].digitValue();
            if (v > 100000)
                return false;
            ++i_;
        }
        if (i_ == start)
            return false;
        *out = int(v);
        return true;
    }

    static bool alignOf(QChar c, Align* a) {
        switch (c.toUpper().unicode()) {
            case u'L':
                *a = Align::Left;
                return true;
            case u'R':
                *a = Align::Right;
                return true;
            case u'C':
                *a = Align::Center;
                return true;
            case u'D':
                *a = Align::Decimal;
                return true;
            default:
                return false;
        }
    }

    // "(n)" after an alignment; absent leaves *indent alone.
    bool indent(int* indent, QString* error) {
        if (atEnd() || s_[i_] != u'(')
            return true;
        ++i_;
        const bool minus = !atEnd() && s_[i_] == u'-';
        if (minus)
            ++i_;
        int v = 0;
        if (!number(&v))
            return fail(error, QStringLiteral("an indent without its number"));
        if (atEnd() || s_[i_] != u')')
            return fail(error, QStringLiteral("an indent not closed with \")\""));
        ++i_;
        *indent = minus ? -v : v;
        return true;
    }

    bool header(QString* text, QString* error) {
        ++i_;  // the opening "~"
        const qsizetype end = s_.indexOf(u'~', i_);
        if (end < 0)
            return fail(error, QStringLiteral("a header not closed with \"~\""));
        *text = s_.mid(i_, end - i_).toString();
        i_ = end + 1;
        return true;
    }

    bool column(Column* col, QString* error) {
        if (!number(&col->width))
            return fail(error, QStringLiteral("a column width out of range"));
        if (atEnd() || !alignOf(s_[i_], &col->align))
            return fail(error, QStringLiteral("a column without its alignment (L, R, C or D)"));
        ++i_;
        if (!indent(&col->indent, error))
            return false;
        col->headerAlign = col->align;
        col->headerIndent = col->indent;
        bool havePicture = false;
        bool haveHeader = false;
        while (!atEnd()) {
            const QChar c = s_[i_];
            if (c.isDigit() || c == u'[' || c == u']')
                break;
            switch (c.unicode()) {
                case u'|':
                    col->rightBorder = true;
                    ++i_;
                    continue;
                case u'_':
                    col->underline = true;
                    ++i_;
                    continue;
                case u'M':
                    col->resizable = true;
                    ++i_;
                    continue;
                case u'F':
                    col->fixed = true;
                    ++i_;
                    continue;
                case u'J':
                    col->icon = true;
                    ++i_;
                    continue;
                case u'I':
                    col->transparentIcon = true;
                    ++i_;
                    continue;
                case u'Y':
                    col->style = true;
                    ++i_;
                    continue;
                case u'*':
                    col->colors = true;
                    ++i_;
                    continue;
                case u'?':
                    col->locator = true;
                    ++i_;
                    continue;
                default:
                    break;
            }
            if (c == u'~') {
                if (havePicture || haveHeader)
                    return fail(error, QStringLiteral("a header out of its place"));
                if (!header(&col->header, error))
                    return false;
                haveHeader = true;
                if (!atEnd() && alignOf(s_[i_], &col->headerAlign)) {
                    ++i_;
                    col->headerIndent = 0;
                    if (!indent(&col->headerIndent, error))
                        return false;
                }
                continue;
            }
            if (c == u'@') {
                if (havePicture)
                    return fail(error, QStringLiteral("a second picture in one column"));
                const qsizetype end = s_.indexOf(u'@', i_ + 1);
                if (end < 0)
                    return fail(error, QStringLiteral("a picture not closed with \"@\""));
                const QString pic = QStringLiteral("@") + s_.mid(i_ + 1, end - i_ - 1).toString();
                if (end == i_ + 1 || !Picture::of(pic).valid())
                    return fail(error, QStringLiteral("the picture \"%1\" is not valid").arg(pic));
                col->picture = pic;
                havePicture = true;
                i_ = end + 1;
                continue;
            }
            return fail(error, QStringLiteral("\"%1\" is not an attribute of a column").arg(c));
        }
        if (!havePicture)
            return fail(error, QStringLiteral("a column without its picture"));
        return true;
    }

    bool groupAttributes(Group* g, QString* error) {
        while (!atEnd()) {
            const QChar c = s_[i_];
            if (c.isDigit() || c == u'[' || c == u']')
                return true;
            switch (c.unicode()) {
                case u'|':
                    g->rightBorder = true;
                    ++i_;
                    continue;
                case u'_':
                    g->underline = true;
                    ++i_;
                    continue;
                case u'M':
                    g->resizable = true;
                    ++i_;
                    continue;
                case u'~':
                    if (!header(&g->header, error))
                        return false;
                    if (!atEnd() && alignOf(s_[i_], &g->headerAlign)) {
                        ++i_;
                        if (!indent(&g->headerIndent, error))
                            return false;
                    }
                    continue;
                default:
                    return fail(error,
                                QStringLiteral("\"%1\" is not an attribute of a group").arg(c));
            }
        }
        return true;
    }

    QStringView s_;
    qsizetype i_ = 0;
};

}  // namespace

bool parseFormat(QStringView text, Format* out, QString* error) {
    return Parser(text).parse(out, error);
}

}  // namespace lst
