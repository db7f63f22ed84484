#pragma once
// Paints laid-out pages onto one paint device (a PDF writer, a printer, an
// image). The fonts and their metrics of every control are resolved once for the
// device, so a long run of pages costs only its texts.

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <vector>

#include "report/report.h"

namespace rt {

class PagePainter {
  public:
    PagePainter(const ReportDeclaration& declaration, QPaintDevice* device);

    // Paints one page; the painter must be active on the device given above.
    void paint(QPainter& painter, const ReportPage& page);

  private:
    struct Font {
        QFont font;
        QFontMetricsF metrics;
        qreal ascent;
        qreal widest;  // advance of the font's widest character
    };
    struct Resolved {
        int font;     // index into fonts_
        int pen;      // index into pens_
        QRectF rect;  // device units, relative to the band
        qreal indent;
    };
    void paintBand(QPainter& painter, const ReportPage& page, const ReportPage::Placed& placed);

    const ReportDeclaration& declaration_;
    qreal sx_;  // device units per millimetre
    qreal sy_;
    std::vector<Font> fonts_;  // each different font once
    std::vector<QPen> pens_;
    std::vector<std::vector<Resolved>> controls_;  // per band, per control
    int lastFont_ = -1;                            // what the painter holds now
    int lastPen_ = -1;
};

}  // namespace rt
