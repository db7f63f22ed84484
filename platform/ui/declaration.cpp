#include "declaration.h"

#include <QJsonArray>

#include "core/resources.h"

namespace rt {

namespace {

struct TypeName {
    const char* name;
    ControlType type;
};
const TypeName kTypes[] = {
    {"entry", ControlType::Entry},   {"prompt", ControlType::Prompt},
    {"string", ControlType::String}, {"button", ControlType::Button},
    {"check", ControlType::Check},   {"option", ControlType::Option},
    {"radio", ControlType::Radio},   {"droplist", ControlType::DropList},
    {"combo", ControlType::Combo},   {"sheet", ControlType::Sheet},
    {"tab", ControlType::Tab},       {"spin", ControlType::Spin},
    {"group", ControlType::Group},   {"progress", ControlType::Progress},
    {"image", ControlType::Image},   {"text", ControlType::Text},
    {"list", ControlType::List},     {"toolbar", ControlType::Toolbar},
};

bool typeOf(const QString& name, ControlType* t) {
    for (const TypeName& n : kTypes) {
        if (name.compare(QLatin1String(n.name), Qt::CaseInsensitive) == 0) {
            *t = n.type;
            return true;
        }
    }
    return false;
}

int dimension(const QJsonValue& v, int fallback) {
    if (v.isDouble())
        return v.toInt();
    return fallback;  // "default", null or missing
}

FontDecl fontOf(const QJsonValue& v) {
    FontDecl f;
    const QJsonObject o = v.toObject();
    f.name = o.value(QLatin1String("name")).toString();
    f.size = o.value(QLatin1String("size")).toInt(0);
    f.color = colorValue(o.value(QLatin1String("color")));
    f.style = o.value(QLatin1String("style")).toInt(0);
    if (o.value(QLatin1String("bold")).toBool())
        f.style = (f.style & ~0xFFF) | 700;
    if (o.value(QLatin1String("italic")).toBool())
        f.style |= 0x1000;
    return f;
}

Value jsonValue(const QJsonValue& v) {
    if (v.isString())
        return Value(v.toString());
    if (v.isBool())
        return Value(v.toBool() ? 1 : 0);
    const double d = v.toDouble();
    if (d == double(std::int64_t(d)))
        return Value(std::int64_t(d));
    return Value(d);
}

class Parser {
  public:
    explicit Parser(WindowDecl* w) : w_(w) {}

    bool controls(const QJsonArray& list, int parent, QString* error) {
        for (const QJsonValue& v : list) {
            if (!control(v.toObject(), parent, error))
                return false;
        }
        return true;
    }

    bool control(const QJsonObject& o, int parent, QString* error) {
        ControlDecl c;
        c.kind = o.value(QLatin1String("type")).toString();
        if (!typeOf(c.kind, &c.type)) {
            if (c.kind.isEmpty()) {
                if (error)
                    *error = QStringLiteral("a control without \"type\" after control %1")
                                 .arg(w_->controls.size());
                return false;
            }
            c.type = ControlType::Custom;
        }
        c.number = int(w_->controls.size()) + 1;
        c.parent = parent;
        c.equate = o.value(QLatin1String("equate")).toString();
        const QJsonArray at = o.value(QLatin1String("at")).toArray();
        c.x = at.size() > 0 ? at[0].toInt() : 0;
        c.y = at.size() > 1 ? at[1].toInt() : 0;
        c.width = at.size() > 2 ? dimension(at[2], kDefault) : kDefault;
        c.height = at.size() > 3 ? dimension(at[3], kDefault) : kDefault;
        c.text = o.value(QLatin1String("text")).toString();
        c.picture = o.value(QLatin1String("picture")).toString();
        c.tip = o.value(QLatin1String("tip")).toString();
        c.msg = o.value(QLatin1String("msg")).toString();
        c.icon = o.value(QLatin1String("icon")).toString();
        c.format = o.value(QLatin1String("format")).toString();
        const QJsonValue from = o.value(QLatin1String("from"));
        QStringList entries;
        if (from.isArray()) {
            for (const QJsonValue& e : from.toArray())
                entries << e.toString();
        } else if (from.isString() && !from.toString().isEmpty()) {
            entries = from.toString().split(u'|');
        }
        // "#value" after an entry gives it a value of its own.
        bool values = false;
        for (const QString& e : entries)
            values = values || e.startsWith(u'#');
        for (const QString& e : entries) {
            if (values && e.startsWith(u'#')) {
                if (!c.fromValues.isEmpty())
                    c.fromValues.last() = e.mid(1);
                continue;
            }
            c.from << e;
            if (values)
                c.fromValues << e;
        }
        if (o.contains(QLatin1String("font")))
            c.font = fontOf(o.value(QLatin1String("font")));
        c.color = colorValue(o.value(QLatin1String("color")));
        c.selectedColor = colorValue(o.value(QLatin1String("selectedColor")));
        c.selectedFill = colorValue(o.value(QLatin1String("selectedFill")));
        c.hidden = o.value(QLatin1String("hide")).toBool();
        c.disabled = o.value(QLatin1String("disable")).toBool();
        c.readOnly = o.value(QLatin1String("readonly")).toBool();
        c.transparent = o.value(QLatin1String("transparent")).toBool();
        c.isDefault = o.value(QLatin1String("default")).toBool();
        c.rich = o.value(QLatin1String("rich")).toBool();
        c.vscroll = o.value(QLatin1String("vscroll")).toBool();
        c.flat = o.value(QLatin1String("flat")).toBool();
        const QString align = o.value(QLatin1String("align")).toString();
        if (align == QLatin1String("right"))
            c.align = Qt::AlignRight;
        else if (align == QLatin1String("center"))
            c.align = Qt::AlignHCenter;
        else if (align == QLatin1String("left"))
            c.align = Qt::AlignLeft;
        c.std = o.value(QLatin1String("std")).toInt(0);
        const QJsonArray range = o.value(QLatin1String("range")).toArray();
        if (range.size() == 2) {
            c.hasRange = true;
            c.rangeLow = range[0].toInt();
            c.rangeHigh = range[1].toInt();
        } else if (c.type == ControlType::Progress) {
            c.hasRange = true;
            c.rangeHigh = 100;
        }
        c.step = o.value(QLatin1String("step")).toInt(1);
        if (o.contains(QLatin1String("value"))) {
            c.hasValue = true;
            c.value = jsonValue(o.value(QLatin1String("value")));
        }
        const QJsonArray values2 = o.value(QLatin1String("values")).toArray();
        if (values2.size() == 2) {
            c.trueValue = jsonValue(values2[0]);
            c.falseValue = jsonValue(values2[1]);
        }
        c.lineHeight = o.value(QLatin1String("lineHeight")).toInt(0);
        c.raw = o;
        const int number = c.number;
        const ControlType type = c.type;
        w_->controls.push_back(std::move(c));
        // Children follow their container in the numbering.
        if (type == ControlType::Sheet) {
            return controls(o.value(QLatin1String("tabs")).toArray(), number, error);
        }
        return controls(o.value(QLatin1String("controls")).toArray(), number, error);
    }

    void menus(const QJsonArray& list, int parent) {
        for (const QJsonValue& v : list) {
            const QJsonObject o = v.toObject();
            MenuDecl m;
            m.number = -int(w_->menus.size()) - 1;
            m.parent = parent;
            m.separator = o.value(QLatin1String("separator")).toBool();
            m.equate = o.value(QLatin1String("equate")).toString();
            m.text = o.value(QLatin1String("text")).toString();
            m.msg = o.value(QLatin1String("msg")).toString();
            m.std = o.value(QLatin1String("std")).toInt(0);
            m.isMenu = o.contains(QLatin1String("items"));
            const int number = m.number;
            w_->menus.push_back(m);
            if (o.contains(QLatin1String("items")))
                menus(o.value(QLatin1String("items")).toArray(), number);
        }
    }

  private:
    WindowDecl* w_;
};

}  // namespace

int colorValue(const QJsonValue& v, int fallback) {
    if (v.isDouble())
        return v.toInt();
    if (v.isString()) {
        bool ok = false;
        const QString s = v.toString().trimmed();
        const int n = s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                          ? s.mid(2).toInt(&ok, 16)
                          : s.toInt(&ok, 10);
        return ok ? n : fallback;
    }
    return fallback;
}

int WindowDecl::number(QStringView equate) const {
    for (const ControlDecl& c : controls) {
        if (c.equate.compare(equate, Qt::CaseInsensitive) == 0)
            return c.number;
    }
    for (const MenuDecl& m : menus) {
        if (!m.equate.isEmpty() && m.equate.compare(equate, Qt::CaseInsensitive) == 0)
            return m.number;
    }
    return 0;
}

std::vector<int> WindowDecl::children(int container, ControlType type) const {
    std::vector<int> out;
    for (const ControlDecl& c : controls) {
        if (c.parent == container && c.type == type)
            out.push_back(c.number);
    }
    return out;
}

int WindowDecl::position(int n) const {
    const ControlDecl* c = control(n);
    if (!c || c->parent == 0)
        return 0;
    const std::vector<int> list = children(c->parent, c->type);
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == n)
            return int(i) + 1;
    }
    return 0;
}

std::shared_ptr<const WindowDecl> parseWindow(const QJsonObject& o, QString* error) {
    auto w = std::make_shared<WindowDecl>();
    w->raw = o;
    w->title = o.value(QLatin1String("title")).toString();
    w->icon = o.value(QLatin1String("icon")).toString();
    w->help = o.value(QLatin1String("help")).toString();
    const QJsonArray at = o.value(QLatin1String("at")).toArray();
    w->x = at.size() > 0 ? dimension(at[0], kDefault) : kDefault;
    w->y = at.size() > 1 ? dimension(at[1], kDefault) : kDefault;
    w->width = at.size() > 2 ? dimension(at[2], 200) : 200;
    w->height = at.size() > 3 ? dimension(at[3], 100) : 100;
    w->font = fontOf(o.value(QLatin1String("font")));
    w->color = colorValue(o.value(QLatin1String("color")));
    w->frame = o.value(QLatin1String("frame")).toBool();
    w->mdi = o.value(QLatin1String("mdi")).toBool();
    w->resizable = o.value(QLatin1String("resize")).toBool(true);
    w->maximized = o.value(QLatin1String("maximize")).toBool();
    w->center = o.value(QLatin1String("center")).toBool();
    w->timer = o.value(QLatin1String("timer")).toInt(0);
    for (const QJsonValue& z : o.value(QLatin1String("status")).toArray())
        w->statusZones.push_back(z.toInt(-1));
    Parser p(w.get());
    if (!p.controls(o.value(QLatin1String("controls")).toArray(), 0, error))
        return nullptr;
    if (o.contains(QLatin1String("menubar"))) {
        MenuDecl bar;
        bar.number = -1;
        bar.isMenu = true;
        bar.equate = o.value(QLatin1String("menubarEquate")).toString(QStringLiteral("?MENUBAR"));
        w->menus.push_back(bar);
        p.menus(o.value(QLatin1String("menubar")).toArray(), -1);
    }
    return w;
}

std::shared_ptr<const WindowDecl> loadWindow(QStringView module, QStringView label,
                                             QString* error) {
    const QJsonObject o = declaration(module, u"windows", label, error);
    if (o.isEmpty())
        return nullptr;
    auto parsed = parseWindow(o, error);
    if (!parsed)
        return nullptr;
    auto w = std::const_pointer_cast<WindowDecl>(parsed);
    w->module = moduleName(module);
    w->label = label.toString();
    return w;
}

}  // namespace rt
