// Draws every SVG icon of a folder with Qt's own SVG renderer (the one the
// program's buttons and lists use) into one contact sheet: each icon at the
// sizes asked, its name below. Fails when an icon does not load, draws nothing,
// or makes the renderer complain.
//
//   icon-sheet <icon folder> <out.png> [--zoom N] [size...]
//
// --zoom N enlarges every drawn pixel N times without smoothing, to judge how
// crisp an icon is at its real size.

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStringList>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QStringList gComplaints;

void collect(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg)
        gComplaints << message;
}

bool drawsSomething(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
    return false;
}

struct Drawn {
    QString name;
    std::vector<QImage> images;  // one per size, already zoomed
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Start-up chatter of the platform is no fault of an icon: collected, then dropped.
    qInstallMessageHandler(collect);
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);

    QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        err << "usage: icon-sheet <icon folder> <out.png> [--zoom N] [size...]\n";
        return 2;
    }
    const QString folder = args.takeFirst();
    const QString out = args.takeFirst();
    int zoom = 1;
    std::vector<int> sizes;
    for (int i = 0; i < args.size(); ++i) {
        bool ok = false;
        if (args[i] == QLatin1String("--zoom") && i + 1 < args.size()) {
            zoom = args[++i].toInt(&ok);
        } else {
            sizes.push_back(args[i].toInt(&ok));
            ok = ok && sizes.back() > 0;
        }
        if (!ok || zoom < 1) {
            err << "icon-sheet: bad argument " << args[i] << "\n";
            return 2;
        }
    }
    if (sizes.empty())
        sizes = {16, 24, 48};

    const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.svg")}, QDir::Files,
                                                           QDir::Name | QDir::IgnoreCase);
    if (files.isEmpty()) {
        err << "icon-sheet: no SVG files in " << folder << "\n";
        return 1;
    }

    std::vector<Drawn> drawn;
    int failures = 0;
    for (const QFileInfo& file : files) {
        Drawn d{file.completeBaseName(), {}};
        const QIcon icon(file.filePath());
        for (int size : sizes) {
            gComplaints.clear();
            const QImage image = icon.pixmap(size, size)
                                     .toImage()
                                     .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QString fault;
            if (image.isNull() || image.width() != size || image.height() != size)
                fault = QStringLiteral("did not load");
            else if (!drawsSomething(image))
                fault = QStringLiteral("draws nothing");
            else if (!gComplaints.isEmpty())
                fault = gComplaints.join(QStringLiteral("; "));
            if (!fault.isEmpty()) {
                err << "icon-sheet: " << file.fileName() << " at " << size << " px: " << fault
                    << "\n";
                ++failures;
            }
            d.images.push_back(image.scaled(size * zoom, size * zoom, Qt::IgnoreAspectRatio,
                                            Qt::FastTransformation));
        }
        drawn.push_back(std::move(d));
    }
    qInstallMessageHandler(nullptr);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    const QFontMetrics metrics(font);
    const int gap = 8;
    int iconsWidth = gap;
    int tallest = 0;
    for (int size : sizes) {
        iconsWidth += size * zoom + gap;
        tallest = std::max(tallest, size * zoom);
    }
    int nameWidth = 0;
    for (const Drawn& d : drawn)
        nameWidth = std::max(nameWidth, metrics.horizontalAdvance(d.name) + 2 * gap);
    const int cellWidth = std::max(iconsWidth, nameWidth);
    const int cellHeight = gap + tallest + 4 + metrics.height() + gap;
    const int columns = std::max(1, std::min<int>(drawn.size(), 1200 / cellWidth));
    const int rows = (static_cast<int>(drawn.size()) + columns - 1) / columns;

    QImage sheet(columns * cellWidth, rows * cellHeight, QImage::Format_ARGB32_Premultiplied);
    // A light button face: the icons stand on it in the program's windows.
    sheet.fill(QColor(0xF0, 0xF0, 0xF0));
    QPainter p(&sheet);
    p.setFont(font);
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const int cx = static_cast<int>(i % columns) * cellWidth;
        const int cy = static_cast<int>(i / columns) * cellHeight;
        p.setPen(QColor(0xD0, 0xD0, 0xD0));
        p.drawRect(cx, cy, cellWidth - 1, cellHeight - 1);
        int x = cx + (cellWidth - iconsWidth) / 2 + gap;
        for (const QImage& image : drawn[i].images) {
            p.drawImage(x, cy + gap + tallest - image.height(), image);
            x += image.width() + gap;
        }
        p.setPen(Qt::black);
        p.drawText(QRect(cx, cy + gap + tallest + 4, cellWidth, metrics.height()),
                   Qt::AlignHCenter | Qt::AlignTop, drawn[i].name);
    }
    p.end();
    if (!sheet.save(out)) {
        err << "icon-sheet: cannot write " << out << "\n";
        return 1;
    }
    QTextStream(stdout) << out << ": " << drawn.size() << " icons\n";
    return failures == 0 ? 0 : 1;
}
