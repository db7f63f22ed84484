#include "declaration.h"

#include <QJsonArray>
#include <QSet>

#include "core/fonts.h"
#include "core/picture.h"
#include "core/resources.h"

namespace rt {

namespace {

// Collects the first error with the path of the item it concerns.
struct Parser {
    QString error;

    bool fail(const QString& where, const QString& what) {
        if (error.isEmpty())
            error = where + QStringLiteral(": ") + what;
        return false;
    }

    bool rect(const QJsonObject& o, const QString& where, QRectF* out) {
        const QJsonArray a = o.value(QLatin1String("at")).toArray();
        if (a.size() != 4)
            return fail(where, QStringLiteral("\"at\" must be [x, y, width, height]"));
        double v[4];
        for (int i = 0; i < 4; ++i) {
            if (!a[i].isDouble())
                return fail(where, QStringLiteral("\"at\" must hold four numbers"));
            v[i] = a[i].toDouble();
        }
        if (v[2] < 0 || v[3] < 0)
            return fail(where, QStringLiteral("negative width or height"));
        *out = QRectF(v[0], v[1], v[2], v[3]);
        return true;
    }

    // Fields the object leaves out keep the values `font` already has.
    bool fontOf(const QJsonObject& o, const QString& where, ReportFont* font) {
        if (o.contains(QLatin1String("face"))) {
            font->face = fontFace(o.value(QLatin1String("face")).toString());
            if (font->face.isEmpty())
                return fail(where, QStringLiteral("empty font face"));
        }
        if (o.contains(QLatin1String("size"))) {
            font->size = o.value(QLatin1String("size")).toDouble();
            if (!(font->size > 0 && font->size <= 400))
                return fail(where, QStringLiteral("font size out of range"));
        }
        font->bold = o.value(QLatin1String("bold")).toBool(font->bold);
        font->italic = o.value(QLatin1String("italic")).toBool(font->italic);
        font->underline = o.value(QLatin1String("underline")).toBool(font->underline);
        font->charset = o.value(QLatin1String("charset")).toInt(font->charset);
        return colorOf(o, where, &font->color);
    }

    // Colours are declared as 0xBBGGRR numbers.
    bool colorOf(const QJsonObject& o, const QString& where, QColor* color) {
        const QJsonValue c = o.value(QLatin1String("color"));
        if (c.isUndefined())
            return true;
        const double v = c.toDouble(-1);
        if (!c.isDouble() || v < 0 || v > 0xFFFFFF || v != double(qint64(v)))
            return fail(where, QStringLiteral("colour must be a number 0xBBGGRR"));
        const auto n = quint32(v);
        *color = QColor(int(n & 0xFF), int((n >> 8) & 0xFF), int((n >> 16) & 0xFF));
        return true;
    }

    bool control(const QJsonObject& o, const QString& where, const ReportFont& reportFont,
                 ReportControl* c) {
        static const std::pair<const char*, ReportControl::Kind> kinds[] = {
            {"string", ReportControl::Kind::String},
            {"text", ReportControl::Kind::Text},
            {"line", ReportControl::Kind::Line},
            {"count", ReportControl::Kind::Count},
            {"pagenumber", ReportControl::Kind::PageNumber},
        };
        const QString kind = o.value(QLatin1String("kind")).toString();
        bool known = false;
        for (const auto& [name, k] : kinds) {
            if (kind == QLatin1String(name)) {
                c->kind = k;
                known = true;
            }
        }
        if (!known)
            return fail(where, QStringLiteral("unknown control kind \"%1\"").arg(kind));
        c->label = o.value(QLatin1String("label")).toString();
        c->text = o.value(QLatin1String("text")).toString();
        c->use = o.value(QLatin1String("use")).toString();
        c->picture = o.value(QLatin1String("picture")).toString();
        if (!rect(o, where, &c->rect))
            return false;
        if (c->kind == ReportControl::Kind::Text && c->use.isEmpty())
            return fail(where, QStringLiteral("a text control needs \"use\""));
        if (!c->picture.isEmpty() && !Picture(c->picture).valid())
            return fail(where, QStringLiteral("bad picture \"%1\"").arg(c->picture));
        const QString align = o.value(QLatin1String("align")).toString(QStringLiteral("left"));
        if (align == u"left") {
            c->align = ReportAlign::Left;
        } else if (align == u"center") {
            c->align = ReportAlign::Center;
        } else if (align == u"right") {
            c->align = ReportAlign::Right;
        } else {
            return fail(where, QStringLiteral("unknown alignment \"%1\"").arg(align));
        }
        c->indent = o.value(QLatin1String("indent")).toDouble(0);
        c->font = reportFont;
        if (!fontOf(o.value(QLatin1String("font")).toObject(), where, &c->font))
            return false;
        if (c->kind == ReportControl::Kind::Line) {
            c->lineWidth = o.value(QLatin1String("lineWidth")).toDouble(c->lineWidth);
            if (c->lineWidth < 0)
                return fail(where, QStringLiteral("negative line width"));
            return colorOf(o, where, &c->font.color);
        }
        return true;
    }

    bool band(const QJsonObject& o, const QString& where, const ReportFont& reportFont,
              ReportBand* b) {
        const QString kind = o.value(QLatin1String("kind")).toString();
        if (kind == u"header") {
            b->kind = ReportBand::Kind::Header;
        } else if (kind == u"detail") {
            b->kind = ReportBand::Kind::Detail;
        } else if (kind == u"footer") {
            b->kind = ReportBand::Kind::Footer;
        } else {
            return fail(where, QStringLiteral("unknown band kind \"%1\"").arg(kind));
        }
        b->label = o.value(QLatin1String("label")).toString();
        if (!rect(o, where, &b->rect))
            return false;
        const QJsonArray controls = o.value(QLatin1String("controls")).toArray();
        for (qsizetype i = 0; i < controls.size(); ++i) {
            ReportControl c;
            const QString at = where + QStringLiteral(", control %1").arg(i + 1);
            if (!control(controls[i].toObject(), at, reportFont, &c))
                return false;
            if (c.kind != ReportControl::Kind::Line)
                c.slot = b->textCount++;
            b->controls.push_back(std::move(c));
        }
        return true;
    }
};

QPageSize paperOf(const QString& name, bool* ok) {
    for (int id = 0; id <= int(QPageSize::LastPageSize); ++id) {
        const auto pid = QPageSize::PageSizeId(id);
        if (QPageSize::key(pid).compare(name, Qt::CaseInsensitive) == 0) {
            *ok = true;
            return QPageSize(pid);
        }
    }
    *ok = false;
    return {};
}

}  // namespace

bool sameLabel(QStringView a, QStringView b) {
    if (a.startsWith(u'?'))
        a = a.mid(1);
    if (b.startsWith(u'?'))
        b = b.mid(1);
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

std::shared_ptr<const ReportDeclaration> ReportDeclaration::fromJson(const QJsonObject& json,
                                                                     QString* error) {
    auto d = std::make_shared<ReportDeclaration>();
    Parser p;
    const QString top = QStringLiteral("report");
    auto done = [&]() -> std::shared_ptr<const ReportDeclaration> {
        if (!p.error.isEmpty()) {
            if (error)
                *error = p.error;
            return nullptr;
        }
        return d;
    };

    d->title = json.value(QLatin1String("title")).toString();
    const QString units = json.value(QLatin1String("units")).toString(QStringLiteral("mm"));
    if (units != u"mm") {
        p.fail(top, QStringLiteral("only millimetres are supported, not \"%1\"").arg(units));
        return done();
    }
    bool ok = false;
    d->paper = paperOf(json.value(QLatin1String("paper")).toString(QStringLiteral("A4")), &ok);
    if (!ok) {
        p.fail(top, QStringLiteral("unknown paper"));
        return done();
    }
    const QString orientation =
        json.value(QLatin1String("orientation")).toString(QStringLiteral("portrait"));
    if (orientation == u"portrait") {
        d->orientation = QPageLayout::Portrait;
    } else if (orientation == u"landscape") {
        d->orientation = QPageLayout::Landscape;
    } else {
        p.fail(top, QStringLiteral("unknown orientation \"%1\"").arg(orientation));
        return done();
    }
    d->font.face = QStringLiteral("Arial");
    if (!p.fontOf(json.value(QLatin1String("font")).toObject(), top, &d->font))
        return done();
    QJsonObject area;
    area.insert(QLatin1String("at"), json.value(QLatin1String("detailArea")));
    if (!p.rect(area, top + QStringLiteral(" detail area"), &d->detailArea))
        return done();
    if (d->detailArea.height() <= 0) {
        p.fail(top, QStringLiteral("the detail area has no height"));
        return done();
    }

    QSet<QString> labels;
    const QJsonArray bands = json.value(QLatin1String("bands")).toArray();
    for (qsizetype i = 0; i < bands.size(); ++i) {
        ReportBand b;
        const QString where = QStringLiteral("band %1").arg(i + 1);
        if (!p.band(bands[i].toObject(), where, d->font, &b))
            return done();
        const int index = int(d->bands.size());
        if (b.kind == ReportBand::Kind::Header || b.kind == ReportBand::Kind::Footer) {
            int& slot = b.kind == ReportBand::Kind::Header ? d->header : d->footer;
            if (slot >= 0) {
                p.fail(where, QStringLiteral("a second page header or footer"));
                return done();
            }
            slot = index;
        }
        auto unique = [&](const QString& label) {
            if (label.isEmpty())
                return true;
            QString key = label.toUpper();
            if (key.startsWith(u'?'))
                key.remove(0, 1);
            if (labels.contains(key))
                return p.fail(where, QStringLiteral("label \"%1\" declared twice").arg(label));
            labels.insert(key);
            return true;
        };
        if (!unique(b.label))
            return done();
        for (const ReportControl& c : b.controls) {
            if (!unique(c.label))
                return done();
        }
        d->bands.push_back(std::move(b));
    }
    return done();
}

std::shared_ptr<const ReportDeclaration> ReportDeclaration::load(QStringView module,
                                                                 QStringView label,
                                                                 QString* error) {
    const QJsonObject json = declaration(module, u"reports", label, error);
    if (json.isEmpty())
        return nullptr;
    QString e;
    auto d = fromJson(json, &e);
    if (!d && error)
        *error = QStringLiteral("%1 %2: %3").arg(moduleName(module), label.toString(), e);
    return d;
}

QSizeF ReportDeclaration::pageSize() const {
    const QSizeF s = paper.size(QPageSize::Millimeter);
    return orientation == QPageLayout::Portrait ? s : s.transposed();
}

int ReportDeclaration::band(QStringView label) const {
    for (size_t i = 0; i < bands.size(); ++i) {
        if (sameLabel(bands[i].label, label))
            return int(i);
    }
    return -1;
}

bool ReportDeclaration::control(QStringView label, int* band, int* control) const {
    for (size_t b = 0; b < bands.size(); ++b) {
        const auto& cs = bands[b].controls;
        for (size_t c = 0; c < cs.size(); ++c) {
            if (sameLabel(cs[c].label, label)) {
                *band = int(b);
                *control = int(c);
                return true;
            }
        }
    }
    return false;
}

}  // namespace rt
