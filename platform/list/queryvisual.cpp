// The query window: a window of the runtime built from a declaration made
// here, run on the calling procedure thread with its own event loop (the
// thread's other windows take no input meanwhile).

#include <QJsonArray>
#include <QJsonObject>

#include "core/picture.h"
#include "query.h"
#include "ui/dialogs.h"
#include "ui/runtime.h"
#include "ui/window.h"

namespace lst {

namespace {

// Dialog units of the layout.
constexpr int kRowHeight = 16;
constexpr int kTop = 8;
constexpr int kTitleX = 8;
constexpr int kOpX = 112;
constexpr int kOpWidth = 66;
constexpr int kValueX = 182;
constexpr int kWidth = 350;

QJsonArray at(int x, int y, int w, int h) {
    return QJsonArray{x, y, w, h};
}

QJsonObject control(const char* type, const QString& equate, QJsonArray place) {
    QJsonObject c;
    c[QStringLiteral("type")] = QString::fromLatin1(type);
    c[QStringLiteral("equate")] = equate;
    c[QStringLiteral("at")] = place;
    return c;
}

QJsonObject button(const QString& equate, const QString& text, QJsonArray place,
                   const QString& tip = {}) {
    QJsonObject b = control("button", equate, std::move(place));
    b[QStringLiteral("text")] = text;
    if (!tip.isEmpty())
        b[QStringLiteral("tip")] = tip;
    return b;
}

}  // namespace

struct QueryListVisual::Impl {
    // The variables of one row of the window. The value is kept as typed and
    // read through the item's picture here rather than by the entry, so that
    // Cancel and the close box always get through, whatever was typed.
    struct Row {
        int item = 0;
        QString picture;
        LONG op = 0;
        STRING<255> value;
        // What the row showed of the query: an item with more conditions
        // than the row shows keeps them all unless the row is changed.
        LONG shownOp = 0;
        QString shownValue;
    };
    std::vector<std::unique_ptr<Row>> rows;
    STRING<60> name;

    static bool text(const Row& r) { return Picture::of(r.picture).type() == Picture::Type::Text; }

    // The row's value as the query holds it; false (and *why) when the
    // picture cannot read what was typed. A blank value is no condition.
    static bool read(const Row& r, Value* out, QString* why) {
        const QString typed = r.value.clip();
        if (typed.trimmed().isEmpty()) {
            *out = Value();
            return true;
        }
        if (text(r)) {
            *out = Value(typed);
            return true;
        }
        return Picture::of(r.picture).parse(typed.trimmed(), out, why);
    }

    void fromQuery(const QueryClass& q) {
        for (auto& r : rows) {
            Value v;
            const QueryOp op = q.GetLimit(r->item, &v);
            r->op = LONG(op == QueryOp::None ? q.Operators(r->item).front() : op);
            if (op == QueryOp::None)
                r->value = QString();
            else
                r->value = text(*r) ? v.toText() : Picture::of(r->picture).format(v).trimmed();
            r->shownOp = r->op;
            r->shownValue = r->value.clip();
        }
    }

    // The first row whose value cannot be read (0 none), and why.
    int faulty(QString* why) const {
        for (size_t i = 0; i < rows.size(); ++i) {
            Value v;
            if (!read(*rows[i], &v, why))
                return int(i) + 1;
        }
        return 0;
    }

    // The rows into the query: each shown item's conditions become its row's.
    void toQuery(QueryClass& q) {
        for (auto& r : rows) {
            Value v;
            QString why;
            if (r->op == r->shownOp && r->value.clip() == r->shownValue)
                continue;
            if (!read(*r, &v, &why))
                continue;
            q.SetLimit(r->item, QueryOp(r->op), v);
            r->shownOp = r->op;
            r->shownValue = r->value.clip();
        }
    }

    void clear(const QueryClass& q) {
        for (auto& r : rows) {
            r->op = LONG(q.Operators(r->item).front());
            r->value = QString();
            r->shownOp = -1;  // cleared: whatever the item had goes
        }
    }
};

QueryListVisual::QueryListVisual() : d(std::make_unique<Impl>()) {}
QueryListVisual::~QueryListVisual() = default;

bool QueryListVisual::Ask(QueryClass& query) {
    d->rows.clear();
    for (int i = 1; i <= query.Items(); ++i) {
        if (!query.GetItem(i).offered)
            continue;
        auto r = std::make_unique<Impl::Row>();
        r->item = i;
        r->picture = query.GetItem(i).picture;
        d->rows.push_back(std::move(r));
    }
    const int n = int(d->rows.size());

    // ---- the declaration ----------------------------------------------------
    QJsonArray controls;
    for (int i = 1; i <= n; ++i) {
        const Impl::Row& r = *d->rows[size_t(i - 1)];
        const QueryClass::Item& it = query.GetItem(r.item);
        const int y = kTop + (i - 1) * kRowHeight;
        QJsonObject title = control("prompt", QStringLiteral("?QUERYTITLE:%1").arg(i),
                                    at(kTitleX, y + 2, kOpX - kTitleX - 4, 10));
        title[QStringLiteral("text")] = it.title;
        controls << title;
        QJsonObject op =
            control("droplist", QStringLiteral("?QUERYOP:%1").arg(i), at(kOpX, y, kOpWidth, 12));
        QJsonArray from;
        for (QueryOp o : query.Operators(r.item))
            from << queryOpText(o) << u'#' + QString::number(int(o));
        op[QStringLiteral("from")] = from;
        op[QStringLiteral("tip")] = QStringLiteral("Условие отбора по полю «%1»").arg(it.title);
        controls << op;
        const bool date = Picture::of(r.picture).type() == Picture::Type::Date;
        const int width = Impl::text(r) ? kWidth - kValueX - 8 : 60;
        QJsonObject value =
            control("entry", QStringLiteral("?QUERYVALUE:%1").arg(i), at(kValueX, y, width, 12));
        value[QStringLiteral("tip")] = date ? QStringLiteral(
                                                  "Дата в виде ДД.ММ.ГГГГ; пусто - "
                                                  "без условия")
                                            : QStringLiteral("Значение; пусто - без условия");
        controls << value;
    }
    const int y0 = kTop + n * kRowHeight + 6;
    QJsonObject prompt =
        control("prompt", QStringLiteral("?QUERYNAME:PROMPT"), at(kTitleX, y0 + 2, 100, 10));
    prompt[QStringLiteral("text")] = QStringLiteral("Сохранённые запросы:");
    controls << prompt;
    QJsonObject name = control("combo", QStringLiteral("?QUERYNAME"), at(kOpX, y0, 130, 12));
    name[QStringLiteral("picture")] = QStringLiteral("@s60");
    name[QStringLiteral("from")] = query.SavedQueries().join(u'|');
    name[QStringLiteral("tip")] =
        QStringLiteral("Имя запроса: выберите сохранённый или введите новое");
    controls << name;
    controls << button(QStringLiteral("?QUERYLOAD"), QStringLiteral("Загрузить"),
                       at(kOpX + 134, y0 - 1, 46, 14),
                       QStringLiteral("Заполнить условия сохранённым запросом"));
    controls << button(QStringLiteral("?QUERYSAVE"), QStringLiteral("Сохранить"),
                       at(kOpX + 134, y0 + 15, 46, 14),
                       QStringLiteral("Сохранить условия под этим именем"));
    controls << button(QStringLiteral("?QUERYDELETE"), QStringLiteral("Удалить"),
                       at(kOpX + 184, y0 - 1, 46, 14),
                       QStringLiteral("Удалить сохранённый запрос с этим именем"));
    const int y1 = y0 + 38;
    QJsonObject last =
        button(QStringLiteral("?QUERYLAST"), QStringLiteral("Последний"), at(kTitleX, y1, 60, 16),
               QStringLiteral("Повторить последний применённый запрос"));
    if (!query.QkIcon.isEmpty())
        last[QStringLiteral("icon")] = query.QkIcon;
    if (!query.QkSupport)
        last[QStringLiteral("hide")] = true;
    if (!query.HasLast())
        last[QStringLiteral("disable")] = true;
    controls << last;
    QJsonObject all =
        button(QStringLiteral("?QUERYALL"), QStringLiteral("Показать все"),
               at(kTitleX + 64, y1, 60, 16), QStringLiteral("Снять запрос: показать все записи"));
    if (!query.QkSupport)
        all[QStringLiteral("hide")] = true;
    controls << all;
    QJsonObject ok = button(QStringLiteral("?QUERYOK"), QStringLiteral("OK"),
                            at(kWidth - 148, y1, 44, 16), QStringLiteral("Применить запрос"));
    ok[QStringLiteral("default")] = true;
    controls << ok;
    controls << button(QStringLiteral("?QUERYCANCEL"), QStringLiteral("Отмена"),
                       at(kWidth - 100, y1, 44, 16), QStringLiteral("Закрыть, не меняя отбора"));
    controls << button(QStringLiteral("?QUERYCLEAR"), QStringLiteral("Очистить"),
                       at(kWidth - 52, y1, 44, 16), QStringLiteral("Стереть все условия"));

    QJsonObject w;
    w[QStringLiteral("title")] = Title.isEmpty() ? QStringLiteral("Запрос по образцу") : Title;
    w[QStringLiteral("at")] = QJsonArray{QJsonValue(), QJsonValue(), kWidth, y1 + 24};
    QJsonObject font;
    font[QStringLiteral("name")] = QStringLiteral("Arial CYR");
    font[QStringLiteral("size")] = 8;
    w[QStringLiteral("font")] = font;
    if (!query.QkMenuIcon.isEmpty())
        w[QStringLiteral("icon")] = query.QkMenuIcon;
    w[QStringLiteral("center")] = true;
    w[QStringLiteral("resize")] = false;
    w[QStringLiteral("controls")] = controls;
    QString why;
    auto decl = rt::parseWindow(w, &why);
    if (!decl)
        return false;

    // ---- the loop -------------------------------------------------------------
    // The query is worked on in place (loading a saved query fills the rows
    // through it); cancelling puts back what it held.
    const QString before = query.Text();
    d->fromQuery(query);
    d->name = QString();
    Window win(decl);
    for (int i = 1; i <= n; ++i) {
        Impl::Row& r = *d->rows[size_t(i - 1)];
        win.bind(OpControl(i), ref(r.op));
        win.bind(ValueControl(i), ref(r.value));
    }
    win.bind(NameControl(n), ref(d->name));
    if (!win.open())
        return false;
    win.display();
    bool confirmed = false;
    auto refuse = [&](int row, const QString& why) {
        MESSAGE(
            QStringLiteral("%1: %2").arg(query.GetItem(d->rows[size_t(row - 1)]->item).title, why),
            QStringLiteral("Запрос по образцу"), ICON::Exclamation);
        win.select(ValueControl(row));
    };
    win.alert(Key::Esc);  // Esc cancels, as in a dialog
    while (win.accept()) {
        const rt::Event& e = rt::currentEvent();
        if (e.event == EVENT::AlertKey && e.keycode == Key::Esc)
            break;
        if (e.event != EVENT::Accepted)
            continue;
        const int f = e.field;
        if (f >= 1 && f <= 3 * n) {
            // A value read through its picture is shown as the picture shows it.
            if (f % 3 == 0) {
                Impl::Row& r = *d->rows[size_t(f / 3 - 1)];
                Value v;
                QString why;
                if (!Impl::read(r, &v, &why))
                    refuse(f / 3, why);
                else if (!Impl::text(r) && !r.value.clip().trimmed().isEmpty())
                    r.value = Picture::of(r.picture).format(v).trimmed();
                win.display(f, f);
            }
            continue;
        }
        if (f == OkControl(n)) {
            QString why;
            if (const int bad = d->faulty(&why)) {
                refuse(bad, why);
                continue;
            }
            d->toQuery(query);
            confirmed = true;
            break;
        }
        if (f == CancelControl(n))
            break;
        if (f == ClearControl(n)) {
            d->clear(query);
            win.display();
        } else if (f == LoadControl(n)) {
            if (query.Restore(d->name.clip())) {
                d->fromQuery(query);
                win.display();
            } else {
                MESSAGE(QStringLiteral("Запрос «%1» не найден.").arg(d->name.clip()),
                        QStringLiteral("Запрос по образцу"), ICON::Exclamation);
            }
        } else if (f == SaveControl(n)) {
            QString why;
            if (const int bad = d->faulty(&why)) {
                refuse(bad, why);
                continue;
            }
            d->toQuery(query);
            if (query.Save(d->name.clip())) {
                win[NameControl(n)][PROP::From] = query.SavedQueries().join(u'|');
            } else {
                MESSAGE(QStringLiteral("Введите имя запроса."), QStringLiteral("Запрос по образцу"),
                        ICON::Exclamation);
                win.select(NameControl(n));
            }
        } else if (f == DeleteControl(n)) {
            query.Delete(d->name.clip());
            d->name = QString();
            win[NameControl(n)][PROP::From] = query.SavedQueries().join(u'|');
            win.display(NameControl(n), NameControl(n));
        } else if (f == LastControl(n)) {
            if (query.RestoreLast()) {
                confirmed = true;
                break;
            }
        } else if (f == AllControl(n)) {
            query.ClearQuery();
            confirmed = true;
            break;
        }
    }
    win.close();
    if (!confirmed && !query.SetText(before))
        query.ClearQuery();
    return confirmed;
}

}  // namespace lst
