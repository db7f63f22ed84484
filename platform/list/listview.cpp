#include "listview.h"

#include <QAbstractButton>
#include <QAbstractTableModel>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <mutex>

#include "ui/gui.h"

namespace lst {

namespace {

// A row is as high as a line of its font and this much more (pixels).
constexpr int kRowPadding = 4;
// A cell's icon: at most this square, and this far from the text after it.
constexpr int kIconSide = 16;
constexpr int kIconGap = 3;
// The frame of a drop combo's list, on both sides together.
constexpr int kPopupFrame = 4;

int rowHeight(const QFontMetrics& fm) {
    return fm.height() + kRowPadding;
}

Qt::Alignment qtAlign(Align a) {
    switch (a) {
        case Align::Left:
            return Qt::AlignLeft;
        case Align::Center:
            return Qt::AlignHCenter;
        case Align::Right:
        case Align::Decimal:
            return Qt::AlignRight;
    }
    return Qt::AlignLeft;
}

// The text rectangle of a cell or header: the indent is counted from the side
// the text is aligned to.
QRect indented(QRect r, Align a, int indentPx) {
    switch (a) {
        case Align::Left:
            return r.adjusted(indentPx, 0, 0, 0);
        case Align::Right:
        case Align::Decimal:
            return r.adjusted(0, 0, -indentPx, 0);
        case Align::Center:
            return r.translated(indentPx, 0);
    }
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------

class ListModel : public QAbstractTableModel {
  public:
    ListModel(QObject* parent, ListSurface* s) : QAbstractTableModel(parent), w_(s) {}

    void setFormat(std::shared_ptr<const Format> f) {
        beginResetModel();
        format_ = std::move(f);
        endResetModel();
    }
    void setRows(std::shared_ptr<const Rows> rows) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
    }
    const Rows* rows() const { return rows_.get(); }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !rows_ ? 0 : int(rows_->size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !format_ ? 0 : int(format_->columns.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const Cell* c = cell(index);
        if (!c)
            return {};
        // An editable combo takes its text from the edit role.
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return c->text;
        if (role == Qt::ToolTipRole) {
            const QString tip = w_->tip();
            return tip.isEmpty() ? QVariant() : QVariant(tip);
        }
        return {};
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || !format_ || section < 0 ||
            section >= int(format_->columns.size()))
            return {};
        const Column& col = format_->columns[size_t(section)];
        if (role == Qt::DisplayRole)
            return col.header;
        if (role == Qt::TextAlignmentRole)
            return int(qtAlign(col.headerAlign) | Qt::AlignVCenter);
        return {};
    }
    const Cell* cell(const QModelIndex& index) const {
        if (!rows_ || !index.isValid() || index.row() >= int(rows_->size()))
            return nullptr;
        const auto& row = (*rows_)[size_t(index.row())];
        return index.column() < int(row.size()) ? &row[size_t(index.column())] : nullptr;
    }

  private:
    ListSurface* w_;
    std::shared_ptr<const Format> format_;
    std::shared_ptr<const Rows> rows_;
};

// ---------------------------------------------------------------------------

class ListDelegate : public QStyledItemDelegate {
  public:
    ListDelegate(QObject* parent, ListSurface* s, ListModel* m)
        : QStyledItemDelegate(parent), w_(s), m_(m) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const Format* f = w_->format();
        const Cell* cell = m_->cell(index);
        if (!f || !cell || index.column() >= int(f->columns.size()))
            return;
        const Column& col = f->columns[size_t(index.column())];
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorGroup cg =
            (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
        QColor fg = option.palette.color(cg, selected ? QPalette::HighlightedText : QPalette::Text);
        QColor bg = option.palette.color(cg, selected ? QPalette::Highlight : QPalette::Base);
        QFont font = option.font;
        if (col.style && cell->style > 0) {
            font = w_->styleFont(cell->style);
            const QColor sf = w_->styleColor(
                cell->style, selected ? PROPSTYLE::TextSelected : PROPSTYLE::TextColor);
            const QColor sb = w_->styleColor(
                cell->style, selected ? PROPSTYLE::BackSelected : PROPSTYLE::BackColor);
            if (sf.isValid())
                fg = sf;
            if (sb.isValid())
                bg = sb;
        }
        if (col.colors) {
            const int t = cell->colors[selected ? 2 : 0];
            const int b = cell->colors[selected ? 3 : 1];
            if (t != -1)
                fg = rt::gui::color(t);
            if (b != -1)
                bg = rt::gui::color(b);
        }
        const QRect r = option.rect;
        p->save();
        p->fillRect(r, bg);
        QRect text = r.adjusted(2, 0, -2, 0);
        if ((col.icon || col.transparentIcon) && cell->icon > 0) {
            const int s = std::max(8, std::min(kIconSide, r.height() - 2));
            const QIcon ic = w_->icon(cell->icon);
            const QRect ir(r.left() + 2 + (col.align == Align::Left ? w_->px(col.indent) : 0),
                           r.top() + (r.height() - s) / 2, s, s);
            if (!ic.isNull())
                ic.paint(p, ir, Qt::AlignCenter,
                         col.transparentIcon ? QIcon::Disabled : QIcon::Normal);
            text.setLeft(ir.right() + kIconGap);
            if (col.align == Align::Left)
                text.setLeft(text.left() - w_->px(col.indent));
        }
        p->setFont(font);
        p->setPen(fg);
        const QRect tr = indented(text, col.align, w_->px(col.indent));
        const QString shown =
            QFontMetrics(font).elidedText(cell->text, Qt::ElideRight, std::max(0, tr.width()));
        p->drawText(tr, int(qtAlign(col.align) | Qt::AlignVCenter) | Qt::TextSingleLine, shown);
        const QColor line = option.palette.color(cg, QPalette::Mid);
        p->setPen(line);
        if (col.rightBorder)
            p->drawLine(r.topRight(), r.bottomRight());
        if (col.underline)
            p->drawLine(r.bottomLeft(), r.bottomRight());
        p->restore();
    }

  private:
    ListSurface* w_;
    ListModel* m_;
};

// ---------------------------------------------------------------------------

// Column headers, with the headers of column groups in a band above them.
class GroupHeader : public QHeaderView {
  public:
    GroupHeader(QWidget* parent, ListSurface* s) : QHeaderView(Qt::Horizontal, parent), w_(s) {
        setSectionsClickable(true);
        setHighlightSections(false);
    }
    void setMark(int section, bool descending) {
        mark_ = section;
        descending_ = descending;
        viewport()->update();
    }
    QSize sizeHint() const override {
        QSize s = QHeaderView::sizeHint();
        const int line = fontMetrics().height() + 6;
        s.setHeight(std::max(s.height(), line));
        if (w_->format() && w_->format()->hasGroups())
            s.setHeight(s.height() * 2);
        return s;
    }

  protected:
    void paintSection(QPainter* p, const QRect& rect, int logical) const override {
        const Format* f = w_->format();
        if (!f || logical < 0 || logical >= int(f->columns.size()))
            return;
        const Column& col = f->columns[size_t(logical)];
        QRect r = rect;
        if (f->hasGroups() && col.group >= 0)
            r.setTop(rect.top() + rect.height() / 2);
        paintBox(p, r, col.header, col.headerAlign, col.headerIndent);
        if (logical == mark_) {
            QStyleOptionHeader arrow;
            arrow.initFrom(this);
            const int s = std::min(r.height() - 4, 10);
            arrow.rect = QRect(r.right() - s - 3, r.top() + (r.height() - s) / 2, s, s);
            arrow.sortIndicator =
                descending_ ? QStyleOptionHeader::SortDown : QStyleOptionHeader::SortUp;
            style()->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &arrow, p, this);
        }
    }
    void paintEvent(QPaintEvent* e) override {
        QHeaderView::paintEvent(e);
        const Format* f = w_->format();
        if (!f || !f->hasGroups())
            return;
        QPainter p(viewport());
        for (const Group& g : f->groups) {
            if (g.last >= count())
                continue;
            const int x0 = sectionViewportPosition(g.first);
            const int x1 = sectionViewportPosition(g.last) + sectionSize(g.last);
            paintBox(&p, QRect(x0, 0, x1 - x0, height() / 2), g.header, g.headerAlign,
                     g.headerIndent);
        }
    }

  private:
    void paintBox(QPainter* p, const QRect& r, const QString& text, Align a, int indent) const {
        QStyleOptionHeader opt;
        opt.initFrom(this);
        opt.rect = r;
        opt.state |= QStyle::State_Raised;
        opt.orientation = Qt::Horizontal;
        style()->drawControl(QStyle::CE_HeaderSection, &opt, p, this);
        p->save();
        p->setPen(palette().color(QPalette::ButtonText));
        p->setFont(font());
        const QRect tr = indented(r.adjusted(3, 0, -3, 0), a, w_->px(indent));
        p->drawText(tr, int(qtAlign(a) | Qt::AlignVCenter) | Qt::TextSingleLine,
                    fontMetrics().elidedText(text, Qt::ElideRight, std::max(0, tr.width())));
        p->restore();
    }

    ListSurface* w_;
    int mark_ = -1;
    bool descending_ = false;
};

// ---------------------------------------------------------------------------

class ListTable : public QTableView {
  public:
    explicit ListTable(ListWidget* w) : QTableView(w), w_(w) {}

    // The list keeps its horizontal position while its rows change, the
    // current row moves or a cell is clicked: only the user scrolls it
    // sideways (the scroll bar, Left and Right).
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override {
        const int x = horizontalScrollBar()->value();
        QTableView::scrollTo(index, hint);
        horizontalScrollBar()->setValue(x);
    }

  protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (w_->handleKey(rt::gui::keyCode(e), e->text()))
            return;
        if (e->modifiers() == Qt::NoModifier &&
            (e->key() == Qt::Key_Left || e->key() == Qt::Key_Right)) {
            horizontalScrollBar()->triggerAction(e->key() == Qt::Key_Left
                                                     ? QAbstractSlider::SliderSingleStepSub
                                                     : QAbstractSlider::SliderSingleStepAdd);
            return;
        }
        QTableView::keyPressEvent(e);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        const QModelIndex i = indexAt(e->position().toPoint());
        if (e->button() == Qt::LeftButton && i.isValid()) {
            w_->send(EVENT::Accepted, i.row() + 1, ListKey::MouseLeft2);
            return;
        }
        QTableView::mouseDoubleClickEvent(e);
    }
    void wheelEvent(QWheelEvent* e) override {
        if (!w_->paged()) {
            QTableView::wheelEvent(e);
            return;
        }
        wheel_ += e->angleDelta().y();
        while (std::abs(wheel_) >= 120) {
            w_->send(wheel_ > 0 ? EVENT::ScrollUp : EVENT::ScrollDown, 3);
            wheel_ += wheel_ > 0 ? -120 : 120;
        }
        e->accept();
    }
    void contextMenuEvent(QContextMenuEvent* e) override {
        if (w_->popup_.empty()) {
            e->ignore();
            return;
        }
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        for (const auto& [text, code] : w_->popup_) {
            if (text.isEmpty()) {
                menu->addSeparator();
                continue;
            }
            const int k = code;
            QObject::connect(menu->addAction(text), &QAction::triggered, w_,
                             [w = w_, k] { w->send(EVENT::AlertKey, {}, k); });
        }
        menu->popup(e->globalPos());
    }
    void resizeEvent(QResizeEvent* e) override {
        QTableView::resizeEvent(e);
        w_->reportPageSize();
    }

  private:
    ListWidget* w_;
    int wheel_ = 0;
};

// ---------------------------------------------------------------------------

void installListControl() {
    static std::once_flag once;
    std::call_once(once, [] {
        rt::registerControlType(QStringLiteral("list"),
                                [](rt::GuiControl& c, QWidget* parent) -> QWidget* {
                                    return new ListWidget(c, parent);
                                });
    });
}

ListWidget::ListWidget(rt::GuiControl& control, QWidget* parent)
    : QFrame(parent), ListSurface(control) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(frameWidth(), frameWidth(), frameWidth(), frameWidth());
    lay->setSpacing(0);
    table_ = new ListTable(this);
    table_->setFrameStyle(QFrame::NoFrame);
    model_ = new ListModel(this, this);
    table_->setModel(model_);
    table_->setItemDelegate(new ListDelegate(this, this, model_));
    auto* header = new GroupHeader(this, this);
    table_->setHorizontalHeader(header);
    QObject::disconnect(header, &QHeaderView::sectionHandleDoubleClicked, table_,
                        &QTableView::resizeColumnToContents);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setShowGrid(false);
    table_->setWordWrap(false);
    table_->setTabKeyNavigation(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setMinimumSectionSize(1);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    lay->addWidget(table_, 1);
    thumb_ = new QScrollBar(Qt::Vertical, this);
    thumb_->setRange(0, 100);
    thumb_->setPageStep(10);
    thumb_->hide();
    lay->addWidget(thumb_);
    setFocusProxy(table_);
    setFocusPolicy(Qt::StrongFocus);

    if (control.decl().lineHeight > 0)
        lineHeight_ = control.decl().lineHeight;
    table_->verticalHeader()->setDefaultSectionSize(lineHeight_ > 0 ? lineHeight_
                                                                    : rowHeight(fontMetrics()));

    QObject::connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                     [this](const QModelIndex& now, const QModelIndex&) {
                         if (!applying_ && now.isValid())
                             send(EVENT::NewSelection, now.row() + 1);
                     });
    QObject::connect(header, &QHeaderView::sectionClicked, this,
                     [this](int s) { send(EVENT::HeaderPressed, s + 1); });
    QObject::connect(header, &QHeaderView::sectionHandleDoubleClicked, this,
                     [this](int s) { send(EVENT::ColumnResize, s + 1); });
    QObject::connect(thumb_, &QScrollBar::actionTriggered, this, [this](int action) {
        switch (action) {
            case QAbstractSlider::SliderSingleStepAdd:
                send(EVENT::ScrollDown, 1);
                break;
            case QAbstractSlider::SliderSingleStepSub:
                send(EVENT::ScrollUp, 1);
                break;
            case QAbstractSlider::SliderPageStepAdd:
                send(EVENT::PageDown);
                break;
            case QAbstractSlider::SliderPageStepSub:
                send(EVENT::PageUp);
                break;
            case QAbstractSlider::SliderToMinimum:
                send(EVENT::ScrollTop);
                break;
            case QAbstractSlider::SliderToMaximum:
                send(EVENT::ScrollBottom);
                break;
            default:
                break;
        }
    });
    QObject::connect(thumb_, &QScrollBar::sliderReleased, this,
                     [this] { send(EVENT::ScrollDrag, thumb_->value()); });

    control.onProperty = [this](PROP p, int index, const Value& v) {
        return onProperty(p, index, v);
    };
}

ListWidget::~ListWidget() = default;

ListWidget* ListWidget::of(rt::GuiControl& control) {
    return dynamic_cast<ListWidget*>(control.widget());
}

QTableView* ListWidget::table() const {
    return table_;
}

const Rows* ListWidget::rows() const {
    return model_->rows();
}

QFont ListWidget::baseFont() const {
    return table_->font();
}

bool ListWidget::handleKey(int code, const QString& text) {
    if (code != 0 && alerts_.count(code)) {
        send(EVENT::AlertKey, {}, code);
        return true;
    }
    const int row = table_->currentIndex().isValid() ? table_->currentIndex().row() : -1;
    if (code == Key::Enter) {
        send(EVENT::Accepted, row + 1, Key::Enter);
        // A list that does not take Enter for itself leaves it to the window's
        // default button, as an entry does.
        if (rt::GuiControl* c = control()) {
            rt::GuiWindow& w = c->window();
            if (rt::GuiControl* b = w.control(w.defaultButton())) {
                if (auto* button = b->as<QAbstractButton>();
                    button && button->isVisible() && button->isEnabled())
                    button->click();
            }
        }
        return true;
    }
    if (paged_) {
        const int last = model_->rowCount() - 1;
        switch (code) {
            case Key::Up:
                if (row > 0)
                    return false;
                send(EVENT::ScrollUp, 1);
                return true;
            case Key::Down:
                if (row >= 0 && row < last)
                    return false;
                send(EVENT::ScrollDown, 1);
                return true;
            case Key::PgUp:
                send(EVENT::PageUp);
                return true;
            case Key::PgDn:
                send(EVENT::PageDown);
                return true;
            case Key::Home:
            case Key::Home + Key::Ctrl:
                send(EVENT::ScrollTop);
                return true;
            case Key::End:
            case Key::End + Key::Ctrl:
                send(EVENT::ScrollBottom);
                return true;
            default:
                break;
        }
    }
    if (!text.isEmpty() && text[0].isPrint() && (code & (Key::Ctrl | Key::Alt)) == 0) {
        send(EVENT::Locate, text);
        return true;
    }
    return false;
}

int ListWidget::rowsThatFit() const {
    const int h = table_->viewport()->height();
    const int line = std::max(1, table_->verticalHeader()->defaultSectionSize());
    return std::max(1, h / line);
}

void ListWidget::reportPageSize() {
    if (!paged_ || !isVisible())
        return;
    const int n = rowsThatFit();
    if (n == reportedPage_)
        return;
    reportedPage_ = n;
    send(ListEvent::PageSize, n);
}

void ListWidget::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    reportPageSize();
}

void ListWidget::showEvent(QShowEvent* e) {
    QFrame::showEvent(e);
    QTimer::singleShot(0, this, [this] { reportPageSize(); });
}

void ListWidget::changeEvent(QEvent* e) {
    QFrame::changeEvent(e);
    if (e->type() == QEvent::FontChange) {
        table_->horizontalHeader()->setFont(font());
        if (lineHeight_ <= 0)
            table_->verticalHeader()->setDefaultSectionSize(rowHeight(fontMetrics()));
        table_->horizontalHeader()->updateGeometry();
        table_->viewport()->update();
        QTimer::singleShot(0, this, [this] { reportPageSize(); });
    }
}

bool ListWidget::onProperty(PROP p, int index, const Value& v) {
    (void)index;
    (void)v;
    if (!takeProperty(p, table_, &lineHeight_))
        return false;
    if (p == PROP::LineHeight) {
        if (lineHeight_ <= 0)
            table_->verticalHeader()->setDefaultSectionSize(rowHeight(fontMetrics()));
        QTimer::singleShot(0, this, [this] { reportPageSize(); });
    }
    return true;
}

void ListWidget::setFormat(std::shared_ptr<const Format> format) {
    format_ = std::move(format);
    model_->setFormat(format_);
    applyColumns();
}

void ListWidget::applyColumns() {
    if (!format_)
        return;
    QHeaderView* h = table_->horizontalHeader();
    for (size_t i = 0; i < format_->columns.size(); ++i) {
        const Column& c = format_->columns[i];
        h->resizeSection(int(i), std::max(1, px(c.width)));
        h->setSectionResizeMode(
            int(i), c.resizable && !c.fixed ? QHeaderView::Interactive : QHeaderView::Fixed);
    }
    h->setStretchLastSection(false);
    h->updateGeometry();
}

void ListWidget::apply(const Snapshot& s) {
    applying_ = true;
    if (s.rows)
        model_->setRows(s.rows);
    if (s.paged != paged_) {
        paged_ = s.paged;
        thumb_->setVisible(paged_);
        table_->setVerticalScrollBarPolicy(paged_ ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
        reportedPage_ = -1;
        QTimer::singleShot(0, this, [this] { reportPageSize(); });
    }
    if (paged_) {
        thumb_->setEnabled(!(s.atTop && s.atBottom));
        if (!thumb_->isSliderDown()) {
            const QSignalBlocker block(thumb_);
            thumb_->setValue(s.atTop ? 0 : (s.atBottom ? 100 : std::clamp(s.thumb, 1, 99)));
        }
    }
    // A snapshot made before the procedure took all that the user did keeps the
    // row the user moved to; the next one brings the procedure's choice.
    if (s.seen >= posted_)
        selectRow(s.current);
    else if (s.rows)
        selectRow(std::min(table_->currentIndex().row() + 1, model_->rowCount()));
    applying_ = false;
}

void ListWidget::selectRow(int row) {
    QItemSelectionModel* sm = table_->selectionModel();
    if (row <= 0 || row > model_->rowCount()) {
        sm->clear();
        return;
    }
    const QModelIndex i = model_->index(row - 1, 0);
    if (sm->currentIndex().row() != row - 1 || !sm->isRowSelected(row - 1, {}))
        sm->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table_->scrollTo(i);
}

void ListWidget::setSortMark(int column, bool descending) {
    static_cast<GroupHeader*>(table_->horizontalHeader())->setMark(column - 1, descending);
}

void ListWidget::fitColumns(int column) {
    if (!format_)
        return;
    const Rows* rows = model_->rows();
    for (size_t i = 0; i < format_->columns.size(); ++i) {
        if (column != 0 && int(i) != column - 1)
            continue;
        const Column& c = format_->columns[i];
        const QFontMetrics hm(table_->horizontalHeader()->font());
        int w = hm.horizontalAdvance(c.header) + px(c.headerIndent) + 10;
        if (rows) {
            for (const auto& r : *rows) {
                if (i >= r.size())
                    continue;
                const Cell& cell = r[i];
                const QFont f = c.style && cell.style > 0 ? styleFont(cell.style) : table_->font();
                int cw = QFontMetrics(f).horizontalAdvance(cell.text) + px(c.indent) + 6;
                if ((c.icon || c.transparentIcon) && cell.icon > 0)
                    cw += kIconSide + kIconGap;
                w = std::max(w, cw);
            }
        }
        table_->horizontalHeader()->resizeSection(int(i), w);
    }
}

// ---------------------------------------------------------------------------

ListSurface::ListSurface(rt::GuiControl& control)
    : control_(&control), window_(&control.window()) {}

ListSurface::~ListSurface() {
    if (rt::GuiControl* c = control())
        c->onProperty = nullptr;
}

ListSurface* ListSurface::of(rt::GuiControl& control) {
    if (auto* w = dynamic_cast<ListWidget*>(control.widget()))
        return w;
    if (QWidget* w = control.widget()) {
        if (QObject* o =
                w->findChild<QObject*>(QStringLiteral("lst_combo"), Qt::FindDirectChildrenOnly))
            return dynamic_cast<ComboList*>(o);
    }
    return nullptr;
}

int ListSurface::px(int du) const {
    return window_ ? window_->px(du) : du * 2;
}

QIcon ListSurface::icon(int n) {
    auto it = icons_.find(n);
    if (it == icons_.end()) {
        rt::GuiControl* c = control();
        it = icons_.emplace(n, c ? c->icon(n) : QIcon()).first;
    }
    return it->second;
}

QFont ListSurface::styleFont(int style) const {
    rt::GuiControl* c = control();
    if (!c)
        return baseFont();
    const Value name = c->property(PROPSTYLE::FontName, style);
    const Value size = c->property(PROPSTYLE::FontSize, style);
    const Value weight = c->property(PROPSTYLE::FontStyle, style);
    // An empty face keeps the list's own.
    return rt::gui::font(baseFont(), name.toText(), int(size.toInt()), int(weight.toInt()));
}

QColor ListSurface::styleColor(int style, PROP p) const {
    rt::GuiControl* c = control();
    if (!c)
        return {};
    const Value v = c->property(p, style);
    if (v.isText() && v.toText().isEmpty())
        return {};
    const int bgr = int(v.toInt());
    return bgr == -1 ? QColor() : rt::gui::color(bgr);
}

void ListSurface::send(int event, const Value& value, int keycode) {
    rt::GuiControl* c = control();
    if (!c)
        return;
    ++posted_;
    c->post(event, value, keycode);
}

bool ListSurface::takeProperty(PROP p, QTableView* view, int* lineHeight) {
    if (p == PROP::LineHeight) {
        rt::GuiControl* c = control();
        *lineHeight = c ? int(c->property(PROP::LineHeight).toInt()) : 0;
        if (*lineHeight > 0)
            view->verticalHeader()->setDefaultSectionSize(*lineHeight);
        return true;
    }
    if (p == PROP::IconList) {
        icons_.clear();
        view->viewport()->update();
        return true;
    }
    if (p >= PROPSTYLE::FontName && p <= PROPSTYLE::BackSelected) {
        view->viewport()->update();
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------

ComboList* ComboList::attach(rt::GuiControl& control) {
    if (auto* existing = dynamic_cast<ComboList*>(ListSurface::of(control)))
        return existing;
    auto* combo = control.as<QComboBox>();
    return combo ? new ComboList(control, combo) : nullptr;
}

ComboList::ComboList(rt::GuiControl& control, QComboBox* combo)
    : QObject(combo), ListSurface(control), combo_(combo) {
    setObjectName(QStringLiteral("lst_combo"));
    model_ = new ListModel(this, this);
    view_ = new QTableView;
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setShowGrid(false);
    view_->setWordWrap(false);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setMinimumSectionSize(1);
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(rowHeight(combo->fontMetrics()));
    view_->setHorizontalHeader(new GroupHeader(view_, this));
    view_->setItemDelegate(new ListDelegate(view_, this, model_));
    combo->setModel(model_);
    combo->setView(view_);
    combo->setModelColumn(0);
    // The choice goes as the row, then as the combo's text: the row's record
    // is in the buffer when the window's handlers see the text.
    QObject::disconnect(combo, &QComboBox::activated, nullptr, nullptr);
    QObject::connect(combo, &QComboBox::activated, this, [this](int i) {
        send(EVENT::NewSelection, i + 1);
        send(EVENT::Accepted, combo_->itemText(i));
    });
    control.onProperty = [this](PROP p, int, const Value& v) { return onProperty(p, v); };
    if (const int h = int(control.property(PROP::LineHeight).toInt()); h > 0)
        onProperty(PROP::LineHeight, h);
}

bool ComboList::onProperty(PROP p, const Value& v) {
    (void)v;
    return takeProperty(p, view_, &lineHeight_);
}

QString ComboList::tip() const {
    return combo_->toolTip();
}

QFont ComboList::baseFont() const {
    return view_->font();
}

const Rows* ComboList::rows() const {
    return model_->rows();
}

void ComboList::setFormat(std::shared_ptr<const Format> format) {
    format_ = std::move(format);
    model_->setFormat(format_);
    int width = 0;
    for (size_t i = 0; i < format_->columns.size(); ++i) {
        const int w = std::max(1, px(format_->columns[i].width));
        view_->horizontalHeader()->resizeSection(int(i), w);
        width += w;
    }
    view_->setMinimumWidth(width + view_->verticalScrollBar()->sizeHint().width() + kPopupFrame);
}

void ComboList::apply(const Snapshot& s) {
    if (!s.rows)
        return;
    // The combo's text is its variable's, whatever the rows are.
    const QString text = combo_->currentText();
    const QSignalBlocker block(combo_);
    model_->setRows(s.rows);
    combo_->setCurrentIndex(-1);
    combo_->setEditText(text);
}

}  // namespace lst
