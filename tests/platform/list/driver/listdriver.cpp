#include "listdriver.h"

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>

#include "ui/gui.h"

namespace listtest {

lst::ListWidget* listWidget(int thread, int control) {
    rt::GuiWindow* w = rt::gui::topWindow(thread);
    rt::GuiControl* c = w ? w->control(control) : nullptr;
    return c ? lst::ListWidget::of(*c) : nullptr;
}

QStringList column(int thread, int control, int col) {
    return uitest::onGui([&] {
        QStringList out;
        lst::ListWidget* l = listWidget(thread, control);
        if (!l || !l->rows())
            return out;
        for (const auto& r : *l->rows())
            out << (col - 1 < int(r.size()) ? r[size_t(col - 1)].text : QString());
        return out;
    });
}

int currentRow(int thread, int control) {
    return uitest::onGui([&] {
        lst::ListWidget* l = listWidget(thread, control);
        return l && l->table()->currentIndex().isValid() ? l->table()->currentIndex().row() + 1 : 0;
    });
}

int thumb(int thread, int control) {
    return uitest::onGui([&] {
        lst::ListWidget* l = listWidget(thread, control);
        return l ? l->thumb()->value() : -1;
    });
}

bool thumbEnabled(int thread, int control) {
    return uitest::onGui([&] {
        lst::ListWidget* l = listWidget(thread, control);
        return l && l->thumb()->isVisible() && l->thumb()->isEnabled();
    });
}

int rowHeight(int thread, int control) {
    return uitest::onGui([&] {
        lst::ListWidget* l = listWidget(thread, control);
        return l ? l->table()->verticalHeader()->defaultSectionSize() : -1;
    });
}

QStringList comboColumn(int thread, int control, int col) {
    return uitest::onGui([&] {
        QStringList out;
        rt::GuiWindow* w = rt::gui::topWindow(thread);
        rt::GuiControl* c = w ? w->control(control) : nullptr;
        auto* l = c ? dynamic_cast<lst::ComboList*>(lst::ListSurface::of(*c)) : nullptr;
        if (l && l->rows()) {
            for (const auto& r : *l->rows())
                out << r[size_t(col - 1)].text;
        }
        return out;
    });
}

namespace {

template <class F>
void onTable(int thread, int control, F f) {
    uitest::onGui([&] {
        lst::ListWidget* l = listWidget(thread, control);
        if (!l)
            return;
        l->window()->activateWindow();
        QApplication::setActiveWindow(l->window());
        f(l, l->table());
    });
    uitest::waitIdle(thread);
}

}  // namespace

void clickRow(int thread, int control, int row) {
    onTable(thread, control, [row](lst::ListWidget*, QTableView* t) {
        const QRect r = t->visualRect(t->model()->index(row - 1, 0));
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, r.center());
    });
}

void clickCell(int thread, int control, int row, int col) {
    onTable(thread, control, [row, col](lst::ListWidget*, QTableView* t) {
        const QRect r =
            t->visualRect(t->model()->index(row - 1, col - 1)).intersected(t->viewport()->rect());
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, r.center());
    });
}

int sideways(int thread, int control) {
    return uitest::onGui([&] {
        lst::ListWidget* l = listWidget(thread, control);
        return l ? l->table()->horizontalScrollBar()->value() : -1;
    });
}

void scrollSideways(int thread, int control, int pixels) {
    onTable(thread, control, [pixels](lst::ListWidget*, QTableView* t) {
        t->horizontalScrollBar()->setValue(pixels);
    });
}

void doubleClickRow(int thread, int control, int row) {
    onTable(thread, control, [row](lst::ListWidget*, QTableView* t) {
        // A double click comes after the press of its first click.
        const QRect r = t->visualRect(t->model()->index(row - 1, 0));
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, r.center());
    });
}

void clickHeader(int thread, int control, int col) {
    onTable(thread, control, [col](lst::ListWidget*, QTableView* t) {
        QHeaderView* h = t->horizontalHeader();
        const int x = h->sectionViewportPosition(col - 1) + h->sectionSize(col - 1) / 2;
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() * 3 / 4));
    });
}

void dragThumb(int thread, int control, int value) {
    onTable(thread, control, [value](lst::ListWidget* l, QTableView*) {
        QScrollBar* s = l->thumb();
        s->setSliderDown(true);
        s->setValue(value);
        s->setSliderDown(false);
    });
}

void typeInto(int thread, int control, const QString& text) {
    onTable(thread, control, [&text](lst::ListWidget*, QTableView* t) {
        t->setFocus(Qt::OtherFocusReason);
        for (QChar ch : text) {
            if (ch.unicode() < 128)
                QTest::keyClick(t, char(ch.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, t, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
    });
}

void scrollWheel(int thread, int control, int notches) {
    onTable(thread, control, [notches](lst::ListWidget*, QTableView* t) {
        const QPoint at = t->viewport()->rect().center();
        QWheelEvent e(at, t->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(t->viewport(), &e);
    });
}

}  // namespace listtest
