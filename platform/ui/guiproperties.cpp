// Properties the procedure side sets, applied to the window, its menu items
// and its controls' widgets.

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>

#include "core/picture.h"
#include "gui.h"
#include "guihost.h"

namespace rt {

namespace {

// What a line edit holds when no picture limits it: Qt's own maximum.
constexpr int kNoMaxLength = 32767;

// An entry's text is also what the runtime showed in it last.
void setText(QWidget* w, const QString& text, QString* lastShown) {
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(text);
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(text);
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(text);
    else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        *lastShown = text;
        e->setText(text);
    } else if (auto* te = qobject_cast<QTextEdit*>(w))
        te->setPlainText(text);
    else if (auto* cb = qobject_cast<QComboBox*>(w); cb && cb->isEditable())
        cb->setEditText(text);
}

void setReadOnly(QWidget* w, bool on) {
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setReadOnly(on);
    else if (auto* te = qobject_cast<QTextEdit*>(w))
        te->setReadOnly(on);
    else if (auto* s = qobject_cast<QAbstractSpinBox*>(w))
        s->setReadOnly(on);
    else if (auto* cb = qobject_cast<QComboBox*>(w); cb && cb->lineEdit())
        cb->lineEdit()->setReadOnly(on);
}

void setRange(QWidget* w, PROP p, int bound) {
    const bool low = p == PROP::RangeLow;
    if (auto* s = qobject_cast<QSpinBox*>(w)) {
        if (low)
            s->setMinimum(bound);
        else
            s->setMaximum(bound);
    } else if (auto* pb = qobject_cast<QProgressBar*>(w)) {
        if (low)
            pb->setMinimum(bound);
        else
            pb->setMaximum(bound);
    }
}

void setPicture(QWidget* w, const QString& picture) {
    auto* e = qobject_cast<QLineEdit*>(w);
    if (!e)
        return;
    const Picture& pic = Picture::of(picture);
    e->setAlignment((pic.valid() && pic.rightAligned() ? Qt::AlignRight : Qt::AlignLeft) |
                    Qt::AlignVCenter);
    e->setMaxLength(pic.valid() && pic.type() == Picture::Type::Text ? pic.width() : kNoMaxLength);
}

void setFromList(QWidget* w, const QString& from) {
    if (auto* cb = qobject_cast<QComboBox*>(w)) {
        cb->clear();
        cb->addItems(from.split(u'|'));
        cb->setCurrentIndex(-1);
    }
}

void setLineHeight(QWidget* w, int height) {
    if (auto* tv = qobject_cast<QTableView*>(w)) {
        tv->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        tv->verticalHeader()->setDefaultSectionSize(height);
    }
}

}  // namespace

void GuiWindow::apply(int n, PROP p, int index, const Value& v) {
    if (n == 0) {
        applyWindow(p, index, v);
        return;
    }
    if (n < 0) {
        applyMenuItem(n, p, v);
        return;
    }
    GuiControl* c = control(n);
    if (!c)
        return;
    c->props[{int(p), index}] = v;
    if (c->onProperty && c->onProperty(p, index, v))
        return;
    if (c->decl().type == ControlType::Tab)
        applyTab(*c, p, v);
    else if (c->widget())
        applyControl(*c, p, v);
}

void GuiWindow::applyMenuItem(int n, PROP p, const Value& v) {
    QAction* a = menuItem(n);
    if (!a)
        return;
    if (p == PROP::Text)
        a->setText(v.toText());
    else if (p == PROP::Disable)
        a->setEnabled(v.toInt() == 0);
    else if (p == PROP::Hide)
        a->setVisible(v.toInt() == 0);
}

// A tab is a page of its sheet: its properties are the sheet's.
void GuiWindow::applyTab(GuiControl& c, PROP p, const Value& v) {
    GuiControl* sheet = control(c.decl().parent);
    auto* tw = sheet ? sheet->as<QTabWidget>() : nullptr;
    const int pos = decl_->position(c.number()) - 1;
    if (!tw)
        return;
    if (p == PROP::Text) {
        tw->setTabText(pos, v.toText());
    } else if (p == PROP::Hide) {
        c.hidden = v.toInt() != 0;
        refreshVisibility();
    } else if (p == PROP::Disable) {
        tw->setTabEnabled(pos, v.toInt() == 0);
    }
}

void GuiWindow::applyControl(GuiControl& c, PROP p, const Value& v) {
    QWidget* w = c.widget();
    const QSignalBlocker block(w);
    switch (p) {
        case PROP::Text:
            setText(w, v.toText(), &c.lastShown);
            break;
        case PROP::Hide:
            c.hidden = v.toInt() != 0;
            refreshVisibility();
            break;
        case PROP::Disable:
            w->setEnabled(v.toInt() == 0);
            break;
        case PROP::ReadOnly:
            setReadOnly(w, v.toInt() != 0);
            break;
        case PROP::FontName:
        case PROP::FontSize:
        case PROP::FontStyle:
            applyFont(c, p, v);
            break;
        case PROP::FontColor:
        case PROP::Color:
        case PROP::SelectedColor:
        case PROP::SelectedFillColor:
            applyColor(c, p, int(v.toInt()));
            break;
        case PROP::Tip:
            w->setToolTip(v.toText().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
            break;
        case PROP::LineHeight:
            setLineHeight(w, int(v.toInt()));
            break;
        case PROP::XPos:
        case PROP::YPos:
        case PROP::Width:
        case PROP::Height:
            placeControl(c);
            break;
        case PROP::Icon:
            if (auto* b = qobject_cast<QAbstractButton*>(w))
                b->setIcon(gui::icon(v.toText()));
            break;
        case PROP::From:
            setFromList(w, v.toText());
            break;
        case PROP::Choice:
            if (auto* tw = qobject_cast<QTabWidget*>(w)) {
                tw->setCurrentIndex(int(v.toInt()) - 1);
                refreshVisibility();
            } else {
                screen(c.number(), v);
            }
            break;
        case PROP::RangeLow:
        case PROP::RangeHigh:
            setRange(w, p, int(v.toInt()));
            break;
        case PROP::Step:
            if (auto* s = qobject_cast<QSpinBox*>(w))
                s->setSingleStep(int(v.toInt()));
            break;
        case PROP::Progress:
            if (auto* pb = qobject_cast<QProgressBar*>(w))
                pb->setValue(int(v.toInt()));
            break;
        case PROP::Default:
            if (v.toInt())
                defaultButton_ = c.number();
            else if (defaultButton_ == c.number())
                defaultButton_ = 0;
            break;
        case PROP::Picture:
            setPicture(w, v.toText());
            break;
        default:
            break;
    }
}

void GuiWindow::applyColor(GuiControl& c, PROP p, int bgr) {
    switch (p) {
        case PROP::FontColor:
            c.fontColor = bgr;
            break;
        case PROP::Color:
            c.color = bgr;
            break;
        case PROP::SelectedColor:
            c.selColor = bgr;
            break;
        default:
            c.selFill = bgr;
            break;
    }
    applyColors(c);
}

void GuiWindow::applyWindow(PROP p, int index, const Value& v) {
    switch (p) {
        case PROP::Text:
            top_->setWindowTitle(detail::shownTitle(v.toText()));
            break;
        case PROP::Icon:
            top_->setWindowIcon(gui::icon(v.toText()));
            break;
        case PROP::Color:
            if (v.toInt() != -1) {
                QPalette pal = client_->palette();
                pal.setColor(QPalette::Window, gui::color(int(v.toInt())));
                client_->setPalette(pal);
                client_->setAutoFillBackground(true);
            }
            break;
        case PROP::Hide:
            top_->setVisible(v.toInt() == 0);
            break;
        case PROP::Disable:
            client_->setEnabled(v.toInt() == 0);
            break;
        case PROP::XPos:
        case PROP::YPos:
        case PROP::Width:
        case PROP::Height:
            applyWindowGeometry(p, int(v.toInt()));
            break;
        case PROP::Maximize:
        case PROP::Iconize:
            if (v.toInt() == 0)
                top_->showNormal();
            else if (p == PROP::Maximize)
                top_->showMaximized();
            else
                top_->showMinimized();
            break;
        case PROP::StatusText:
            // The first zone's text is also what a control without a status
            // message of its own shows while it has the focus.
            if (index <= 1)
                statusText_ = v.toText();
            if (index >= 1 && index <= int(zones_.size()))
                zones_[size_t(index - 1)]->setText(v.toText());
            else if (index == 0 && !zones_.empty())
                zones_[0]->setText(v.toText());
            break;
        default:
            break;
    }
}

// The window's place and its client's size, in dialog units.
void GuiWindow::applyWindowGeometry(PROP p, int du) {
    if (p == PROP::XPos || p == PROP::YPos) {
        QPoint pos = top_->pos();
        if (p == PROP::XPos)
            pos.setX(px(du));
        else
            pos.setY(py(du));
        top_->move(pos);
        return;
    }
    const QSize extra = top_->size() - client_->size();
    QSize s = client_->size();
    if (p == PROP::Width)
        s.setWidth(px(du));
    else
        s.setHeight(py(du));
    top_->resize(s + extra);
}

}  // namespace rt
