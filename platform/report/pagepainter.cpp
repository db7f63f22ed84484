#include "pagepainter.h"

#include <QImage>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>
#include <cmath>

#include "core/paths.h"

namespace rt {

namespace {

QFont fontOf(const ReportFont& f, QPaintDevice* device) {
    QFont font(f.face);
    font.setPointSizeF(f.size);
    font.setBold(f.bold);
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    // Unhinted glyphs scale linearly, so a page looks the same at every zoom
    // and on paper.
    font.setHintingPreference(QFont::PreferNoHinting);
    return QFont(font, device);
}

}  // namespace

PagePainter::PagePainter(const ReportDeclaration& declaration, QPaintDevice* device)
    : declaration_(declaration),
      sx_(device->logicalDpiX() / 25.4),
      sy_(device->logicalDpiY() / 25.4) {
    controls_.resize(declaration.bands.size());
    for (size_t b = 0; b < declaration.bands.size(); ++b) {
        for (const ReportControl& c : declaration.bands[b].controls) {
            const QFont font = fontOf(c.font, device);
            int fi = 0;
            while (fi < int(fonts_.size()) && fonts_[size_t(fi)].font != font)
                ++fi;
            if (fi == int(fonts_.size())) {
                const QFontMetricsF metrics(font, device);
                fonts_.push_back({font, metrics, metrics.ascent(), metrics.maxWidth()});
            }
            QPen pen(c.font.color);
            if (c.kind == ReportControl::Kind::Line)
                pen.setWidthF(c.lineWidth * sx_);
            int pi = 0;
            while (pi < int(pens_.size()) && pens_[size_t(pi)] != pen)
                ++pi;
            if (pi == int(pens_.size()))
                pens_.push_back(pen);
            const QRectF rect(c.rect.x() * sx_, c.rect.y() * sy_, c.rect.width() * sx_,
                              c.rect.height() * sy_);
            controls_[b].push_back({fi, pi, rect, c.indent * sx_});
        }
    }
}

void PagePainter::paint(QPainter& painter, const ReportPage& page) {
    lastFont_ = -1;
    lastPen_ = -1;
    for (const ReportPage::Placed& placed : page.bands)
        paintBand(painter, page, placed);
}

void PagePainter::paintBand(QPainter& painter, const ReportPage& page,
                            const ReportPage::Placed& placed) {
    const ReportBand& band = declaration_.bands[size_t(placed.band)];
    const std::vector<Resolved>& resolved = controls_[size_t(placed.band)];
    const qreal ox = placed.at.x() * sx_;
    const qreal oy = placed.at.y() * sy_;
    for (size_t i = 0; i < band.controls.size(); ++i) {
        const ReportControl& c = band.controls[i];
        const Resolved& r = resolved[i];
        if (lastPen_ != r.pen) {
            painter.setPen(pens_[size_t(r.pen)]);
            lastPen_ = r.pen;
        }
        const QRectF box = r.rect.translated(ox, oy);
        if (c.kind == ReportControl::Kind::Line) {
            painter.drawLine(QLineF(box.topLeft(), box.bottomRight()));
            continue;
        }
        const QString& text = page.texts[size_t(placed.texts + c.slot)];
        if (text.isEmpty())
            continue;
        const Font& f = fonts_[size_t(r.font)];
        if (lastFont_ != r.font) {
            painter.setFont(f.font);
            lastFont_ = r.font;
        }
        const qreal room = box.width() - r.indent;
        qreal x = box.left() + r.indent;
        // Left-aligned text that cannot be too long for its box needs no
        // measuring: shaping it once, to draw it, is enough.
        const bool fits = c.align == ReportAlign::Left && text.size() * f.widest <= room;
        const qreal width = fits ? 0 : f.metrics.horizontalAdvance(text);
        if (fits || width <= room) {
            if (c.align == ReportAlign::Right)
                x = box.right() - r.indent - width;
            else if (c.align == ReportAlign::Center)
                x = box.left() + r.indent + (room - width) / 2;
            painter.drawText(QPointF(x, box.top() + f.ascent), text);
            continue;
        }
        // Too long for its box: the beginning stays readable and the rest is cut
        // at the box's edge instead of running over its neighbours.
        painter.save();
        painter.setClipRect(
            QRectF(box.left(), box.top() - box.height(), box.width(), box.height() * 3),
            Qt::IntersectClip);
        painter.drawText(QPointF(x, box.top() + f.ascent), text);
        painter.restore();
    }
}

// ---------------------------------------------------------------------------
// ReportDocument's output

void ReportDocument::paintPage(QPainter& painter, int index) const {
    const auto p = page(index);
    if (!p)
        return;
    PagePainter(*declaration_, painter.device()).paint(painter, *p);
}

QImage ReportDocument::renderPage(int index, double dpi) const {
    // Fonts follow the device's whole-number resolution; the image follows it too
    // so that text and rules keep their places.
    const int dots = std::max(1, int(std::lround(dpi)));
    const QSizeF mm = declaration_->pageSize();
    QImage image(int(std::ceil(mm.width() * dots / 25.4)),
                 int(std::ceil(mm.height() * dots / 25.4)), QImage::Format_RGB32);
    const int dpm = int(std::lround(dots / 0.0254));
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    paintPage(painter, index);
    return image;
}

QString ReportDocument::cancelledText() {
    return QStringLiteral("прервано пользователем");
}

bool ReportDocument::writePdf(QStringView fileName, QString* error,
                              const Progress& progress) const {
    auto fail = [&](const QString& e) {
        if (error)
            *error = e;
        return false;
    };
    const QString path = nativePath(fileName);
    if (path.isEmpty())
        return fail(QStringLiteral("не задано имя файла"));
    // The old file stays whole until the new one is complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(QPageLayout(declaration_->paper, declaration_->orientation,
                                         QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        writer.setResolution(1200);
        writer.setTitle(declaration_->title);
        writer.setCreator(QStringLiteral("kaldor"));
        QPainter painter;
        if (!painter.begin(&writer))
            return fail(QStringLiteral("не удаётся записать PDF в %1").arg(path));
        PagePainter pages(*declaration_, &writer);
        const int n = pageCount();
        for (int i = 0; i < n; ++i) {
            if (i > 0)
                writer.newPage();
            pages.paint(painter, *page(i));
            if (progress && !progress(i + 1, n)) {
                painter.end();
                file.cancelWriting();
                return fail(cancelledText());
            }
        }
        painter.end();
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

bool ReportDocument::print(QPrinter& printer, QString* error, const Progress& progress) const {
    printer.setFullPage(true);
    printer.setPageLayout(QPageLayout(declaration_->paper, declaration_->orientation,
                                      QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    if (printer.docName().isEmpty())
        printer.setDocName(declaration_->title);
    const int n = pageCount();
    int from = 1;
    int to = n;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        from = std::max(1, printer.fromPage());
        to = std::min(n, printer.toPage() > 0 ? printer.toPage() : n);
    }
    if (from > to) {
        if (error)
            *error = QStringLiteral("нет страниц для печати");
        return false;
    }
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (error)
            *error = QStringLiteral("принтер не начинает печать");
        return false;
    }
    PagePainter pages(*declaration_, &printer);
    for (int i = from; i <= to; ++i) {
        if (i > from)
            printer.newPage();
        pages.paint(painter, *page(i - 1));
        if (progress && !progress(i - from + 1, to - from + 1)) {
            printer.abort();
            painter.end();
            if (error)
                *error = cancelledText();
            return false;
        }
    }
    return painter.end();
}

}  // namespace rt
