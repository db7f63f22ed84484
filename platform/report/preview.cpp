#include "preview.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <mutex>
#include <thread>

namespace rt {

// The pages one under another on grey, each painted only when it comes into
// view and kept for a while as an image at the current zoom.
class PageView : public QWidget {
  public:
    explicit PageView(QWidget* parent) : QWidget(parent) {}

    void setDocument(std::shared_ptr<ReportDocument> document) {
        document_ = std::move(document);
        cache_.clear();
        pages_ = 0;
        relayout();
    }
    void setPages(int pages) {
        pages_ = pages;
        relayout();
    }
    void setZoom(int percent) {
        zoom_ = percent;
        cache_.clear();
        relayout();
    }
    // The page's place in the view, widget coordinates.
    QRect pageRect(int index) const {
        const QSize s = pageSize();
        const int x = std::max(kMargin, (width() - s.width()) / 2);
        return QRect(x, kMargin + index * (s.height() + kMargin), s.width(), s.height());
    }
    // The page at height y (clamped to the pages there are); -1 when none.
    int pageAt(int y) const {
        if (pages_ == 0)
            return -1;
        const int step = pageSize().height() + kMargin;
        return std::clamp((y - kMargin / 2) / std::max(1, step), 0, pages_ - 1);
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter p(this);
        p.fillRect(event->rect(), QColor(0x80, 0x80, 0x80));
        if (!document_ || pages_ == 0)
            return;
        const int first = pageAt(event->rect().top());
        const int last = pageAt(event->rect().bottom());
        for (int i = first; i <= last; ++i) {
            const QRect r = pageRect(i);
            if (!r.intersects(event->rect()))
                continue;
            p.fillRect(r.translated(3, 3), QColor(0x50, 0x50, 0x50));
            p.drawImage(r.topLeft(), image(i));
        }
    }

  private:
    static constexpr int kMargin = 16;
    static constexpr size_t kCached = 8;

    double dpi() const { return logicalDpiX() * zoom_ / 100.0 * devicePixelRatioF(); }
    QSize pageSize() const {
        if (!document_)
            return {};
        const QSizeF mm = document_->declaration().pageSize();
        const double dots = std::max(1L, std::lround(dpi()));
        const double ratio = devicePixelRatioF();
        return QSize(int(std::ceil(mm.width() * dots / 25.4) / ratio),
                     int(std::ceil(mm.height() * dots / 25.4) / ratio));
    }
    void relayout() {
        const QSize s = pageSize();
        setMinimumSize(s.width() + 2 * kMargin, kMargin + pages_ * (s.height() + kMargin));
        update();
    }
    const QImage& image(int index) {
        for (auto it = cache_.begin(); it != cache_.end(); ++it) {
            if (it->first == index) {
                if (it != cache_.begin()) {
                    cache_.push_front(std::move(*it));
                    cache_.erase(std::next(it));
                }
                return cache_.front().second;
            }
        }
        QImage img = document_->renderPage(index, dpi());
        img.setDevicePixelRatio(devicePixelRatioF());
        cache_.emplace_front(index, std::move(img));
        if (cache_.size() > kCached)
            cache_.pop_back();
        return cache_.front().second;
    }

    std::shared_ptr<ReportDocument> document_;
    int pages_ = 0;
    int zoom_ = 100;
    std::deque<std::pair<int, QImage>> cache_;  // most recently used first
};

// One saving or printing of the pages, on a thread of its own. The GUI thread
// reads how far it is; destroying it stops it and waits for its thread, which
// ends after the page it is writing.
class OutputJob {
  public:
    using Work = std::function<bool(const ReportDocument::Progress&, QString*)>;
    explicit OutputJob(Work work) {
        thread_ = std::thread([this, work = std::move(work)] {
            QString error;
            const bool ok = work(
                [this](int done, int total) {
                    total_ = total;
                    done_ = done;
                    return !cancel_.load();
                },
                &error);
            std::lock_guard<std::mutex> l(m_);
            ok_ = ok;
            error_ = ok ? QString() : error;
            finished_ = true;
        });
    }
    ~OutputJob() {
        cancel();
        thread_.join();
    }
    OutputJob(const OutputJob&) = delete;
    OutputJob& operator=(const OutputJob&) = delete;

    void cancel() { cancel_ = true; }
    int done() const { return done_; }
    int total() const { return total_; }
    bool finished() const {
        std::lock_guard<std::mutex> l(m_);
        return finished_;
    }
    bool ok() const {
        std::lock_guard<std::mutex> l(m_);
        return ok_;
    }
    QString error() const {
        std::lock_guard<std::mutex> l(m_);
        return error_;
    }

  private:
    std::atomic<bool> cancel_{false};
    std::atomic<int> done_{0};
    std::atomic<int> total_{0};
    mutable std::mutex m_;
    bool finished_ = false;
    bool ok_ = false;
    QString error_;
    std::thread thread_;
};

}  // namespace rt

namespace {
const QString kZoomKey = QStringLiteral("Zoom");
}

PrintPreviewClass::PrintPreviewClass(QWidget* parent) : QMainWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QStringLiteral("Предварительный просмотр"));
    resize(900, 700);

    list_ = new QListWidget;
    list_->setMaximumWidth(160);
    // Thousands of pages: the list lays them out without measuring each.
    list_->setUniformItemSizes(true);
    scroll_ = new QScrollArea;
    scroll_->setWidgetResizable(true);
    scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scroll_->setBackgroundRole(QPalette::Dark);
    view_ = new rt::PageView(scroll_);
    scroll_->setWidget(view_);
    auto* split = new QSplitter;
    split->addWidget(list_);
    split->addWidget(scroll_);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({120, 1000});

    empty_ = new QLabel(emptyText());
    empty_->setAlignment(Qt::AlignCenter);
    QFont big = empty_->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    empty_->setFont(big);

    stack_ = new QStackedWidget;
    stack_->addWidget(split);
    stack_->addWidget(empty_);
    setCentralWidget(stack_);

    QToolBar* bar = addToolBar(QStringLiteral("Просмотр"));
    bar->setMovable(false);
    print_ = bar->addAction(QStringLiteral("Печать..."), this, &PrintPreviewClass::printWithDialog);
    print_->setShortcut(QKeySequence::Print);
    save_ = bar->addAction(QStringLiteral("Сохранить в PDF..."), this,
                           &PrintPreviewClass::saveWithDialog);
    save_->setShortcut(QKeySequence::Save);
    bar->addSeparator();
    zoomOut_ = bar->addAction(QStringLiteral("−"), this, &PrintPreviewClass::zoomOut);
    zoomOut_->setShortcut(QKeySequence::ZoomOut);
    zoomOut_->setToolTip(QStringLiteral("Уменьшить"));
    zoomBox_ = new QComboBox;
    for (int z : zoomSteps())
        zoomBox_->addItem(QStringLiteral("%1%").arg(z), z);
    bar->addWidget(zoomBox_);
    zoomIn_ = bar->addAction(QStringLiteral("+"), this, &PrintPreviewClass::zoomIn);
    zoomIn_->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    zoomIn_->setToolTip(QStringLiteral("Увеличить"));
    bar->addSeparator();
    QAction* close = bar->addAction(QStringLiteral("Закрыть"), this, &QWidget::close);
    close->setShortcut(Qt::Key_Escape);

    status_ = new QLabel;
    statusBar()->addWidget(status_);
    outputText_ = new QLabel;
    outputBar_ = new QProgressBar;
    outputBar_->setMaximumWidth(240);
    outputBar_->setFormat(QStringLiteral("%v из %m"));
    outputCancel_ = new QPushButton(QStringLiteral("Отмена"));
    outputCancel_->setToolTip(QStringLiteral("Прервать"));
    connect(outputCancel_, &QPushButton::clicked, this, &PrintPreviewClass::cancelOutput);
    statusBar()->addPermanentWidget(outputText_);
    statusBar()->addPermanentWidget(outputBar_);
    statusBar()->addPermanentWidget(outputCancel_);
    showOutput(false);
    outputTimer_ = new QTimer(this);
    outputTimer_->setInterval(50);
    connect(outputTimer_, &QTimer::timeout, this, &PrintPreviewClass::pollOutput);

    connect(zoomBox_, &QComboBox::activated, this,
            [this](int index) { setZoom(zoomBox_->itemData(index).toInt()); });
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row + 1 != currentPage())
            showPage(row + 1);
    });
    connect(scroll_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        const int page = currentPage();
        if (page > 0 && list_->currentRow() != page - 1) {
            const QSignalBlocker block(list_);
            list_->setCurrentRow(page - 1);
        }
        updateStatus();
    });

    timer_ = new QTimer(this);
    timer_->setInterval(40);
    connect(timer_, &QTimer::timeout, this, &PrintPreviewClass::poll);
    updateActions();
}

PrintPreviewClass::~PrintPreviewClass() {
    // Before the widgets go: the output's thread reads only the document, but
    // its end and the dialog's are told to this window.
    job_.reset();
    delete dialog_.data();
}

QString PrintPreviewClass::emptyText() {
    return QStringLiteral("Нет документов для печати");
}

const std::vector<int>& PrintPreviewClass::zoomSteps() {
    static const std::vector<int> steps = {25, 50, 75, 100, 125, 150, 200, 300, 400};
    return steps;
}

void PrintPreviewClass::setIniManager(INIClass* ini, QStringView name) {
    ini_ = ini;
    iniName_ = name.toString();
}

void PrintPreviewClass::setInitialZoom(int percent) {
    initialZoom_ = percent;
}

void PrintPreviewClass::setUserZoom(bool allowed) {
    userZoom_ = allowed;
    updateActions();
}

void PrintPreviewClass::setMaximize(bool maximize) {
    maximize_ = maximize;
}

void PrintPreviewClass::display(std::shared_ptr<rt::ReportDocument> document) {
    document_ = std::move(document);
    settingsSaved_ = false;
    if (document_ && !document_->declaration().title.isEmpty())
        setWindowTitle(QStringLiteral("Предварительный просмотр - ") +
                       document_->declaration().title);
    int zoom = initialZoom_;
    if (ini_) {
        // The user's own last choice outranks the procedure's initial zoom.
        if (userZoom_) {
            bool ok = false;
            const int z = ini_->Fetch(iniName_, kZoomKey).toInt(&ok);
            if (ok)
                zoom = z;
        }
        ini_->Fetch(iniName_, *this);
    }
    pagesShown_ = 0;
    list_->clear();
    view_->setDocument(document_);
    applyZoom(zoom);
    stack_->setCurrentIndex(0);
    poll();
    if (document_ && !document_->finished())
        timer_->start();
    if (maximize_) {
        // Without a window manager nothing would maximise the window: it is
        // given the screen's free area first.
        if (QScreen* screen = this->screen())
            setGeometry(screen->availableGeometry());
        showMaximized();
    } else {
        show();
    }
}

void PrintPreviewClass::poll() {
    if (!document_)
        return;
    const bool finished = document_->finished();  // before counting: no page is missed
    const int n = document_->pageCount();
    if (n != pagesShown_) {
        QStringList names;
        names.reserve(n - pagesShown_);
        for (int i = pagesShown_; i < n; ++i)
            names << QStringLiteral("Страница %1").arg(i + 1);
        list_->addItems(names);
        const bool first = pagesShown_ == 0;
        pagesShown_ = n;
        view_->setPages(n);
        if (first)
            list_->setCurrentRow(0);
    }
    if (finished) {
        timer_->stop();
        if (n == 0)
            stack_->setCurrentWidget(empty_);
    }
    updateActions();
    updateStatus();
}

void PrintPreviewClass::updateActions() {
    // One output and one dialog at a time.
    const bool ready =
        document_ && document_->finished() && pagesShown_ > 0 && !outputRunning() && !dialog_;
    print_->setEnabled(ready);
    save_->setEnabled(ready);
    const bool zoomable = userZoom_ && pagesShown_ > 0;
    zoomBox_->setEnabled(zoomable);
    zoomIn_->setEnabled(zoomable && zoom_ < zoomSteps().back());
    zoomOut_->setEnabled(zoomable && zoom_ > zoomSteps().front());
}

void PrintPreviewClass::updateStatus() {
    if (!document_ || pagesShown_ == 0) {
        status_->clear();
        return;
    }
    if (!document_->finished()) {
        status_->setText(QStringLiteral("Страница %1, готово страниц: %2...")
                             .arg(currentPage())
                             .arg(pagesShown_));
        return;
    }
    status_->setText(QStringLiteral("Страница %1 из %2").arg(currentPage()).arg(pagesShown_));
}

void PrintPreviewClass::setZoom(int percent) {
    if (!userZoom_ && document_)
        return;
    applyZoom(percent);
}

void PrintPreviewClass::applyZoom(int percent) {
    percent = std::clamp(percent, zoomSteps().front(), zoomSteps().back());
    const int page = currentPage();
    zoom_ = percent;
    view_->setZoom(percent);
    const QSignalBlocker block(zoomBox_);
    int index = zoomBox_->findData(percent);
    if (index < 0) {
        // A zoom between the steps (from the INI file or the procedure) is shown
        // as it is.
        zoomBox_->addItem(QStringLiteral("%1%").arg(percent), percent);
        index = zoomBox_->count() - 1;
    }
    zoomBox_->setCurrentIndex(index);
    if (page > 0)
        showPage(page);
    updateActions();
}

void PrintPreviewClass::zoomIn() {
    for (int z : zoomSteps()) {
        if (z > zoom_) {
            setZoom(z);
            return;
        }
    }
}

void PrintPreviewClass::zoomOut() {
    const auto& steps = zoomSteps();
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
        if (*it < zoom_) {
            setZoom(*it);
            return;
        }
    }
}

int PrintPreviewClass::currentPage() const {
    if (pagesShown_ == 0)
        return 0;
    const int top = scroll_->verticalScrollBar()->value();
    return view_->pageAt(top + scroll_->viewport()->height() / 3) + 1;
}

void PrintPreviewClass::showPage(int number) {
    if (number < 1 || number > pagesShown_)
        return;
    // The view's size follows the pages at once; the scroll area learns of it on
    // its next layout, which scrolling must not wait for.
    view_->resize(std::max(view_->minimumWidth(), scroll_->viewport()->width()),
                  std::max(view_->minimumHeight(), scroll_->viewport()->height()));
    scroll_->verticalScrollBar()->setRange(
        0, std::max(0, view_->height() - scroll_->viewport()->height()));
    scroll_->verticalScrollBar()->setValue(view_->pageRect(number - 1).top() - 8);
    if (list_->currentRow() != number - 1) {
        const QSignalBlocker block(list_);
        list_->setCurrentRow(number - 1);
    }
    updateStatus();
}

bool PrintPreviewClass::showsEmptyMessage() const {
    return stack_->currentWidget() == empty_;
}

bool PrintPreviewClass::startOutput(const QString& what, rt::OutputJob::Work work) {
    if (!document_ || !document_->finished() || pagesShown_ == 0 || outputRunning())
        return false;
    job_.reset();
    job_ = std::make_unique<rt::OutputJob>(std::move(work));
    outputText_->setText(what);
    outputBar_->setRange(0, pagesShown_);
    outputBar_->setValue(0);
    showOutput(true);
    outputTimer_->start();
    updateActions();
    return true;
}

void PrintPreviewClass::pollOutput() {
    if (!job_)
        return;
    const bool finished = job_->finished();  // before the count: the last page is seen
    if (job_->total() > 0)
        outputBar_->setMaximum(job_->total());
    outputBar_->setValue(job_->done());
    if (!finished)
        return;
    outputTimer_->stop();
    showOutput(false);
    const bool ok = job_->ok();
    const QString error = job_->error();
    updateActions();
    if (ok) {
        statusBar()->showMessage(outputText_->text() + QStringLiteral(": готово"), 5000);
    } else if (error != rt::ReportDocument::cancelledText()) {
        warn(outputText_->text(), QStringLiteral("Не удалось: %1").arg(error));
    }
    emit outputFinished(ok);
}

// The output's line in the status bar: what is written, how far, its cancel.
void PrintPreviewClass::showOutput(bool shown) {
    outputText_->setVisible(shown);
    outputBar_->setVisible(shown);
    outputCancel_->setVisible(shown);
}

bool PrintPreviewClass::outputRunning() const {
    return outputTimer_->isActive();
}

void PrintPreviewClass::cancelOutput() {
    if (job_)
        job_->cancel();
}

int PrintPreviewClass::outputDone() const {
    return job_ ? job_->done() : 0;
}

int PrintPreviewClass::outputTotal() const {
    return job_ ? job_->total() : 0;
}

QString PrintPreviewClass::outputError() const {
    return job_ ? job_->error() : QString();
}

bool PrintPreviewClass::savePdf(const QString& fileName) {
    return startOutput(
        QStringLiteral("Сохранение в PDF"),
        [doc = document_, fileName](const rt::ReportDocument::Progress& progress, QString* error) {
            return doc->writePdf(fileName, error, progress);
        });
}

bool PrintPreviewClass::printPages(std::shared_ptr<QPrinter> printer) {
    if (!printer)
        return false;
    return startOutput(
        QStringLiteral("Печать"),
        [doc = document_, printer](const rt::ReportDocument::Progress& progress, QString* error) {
            return doc->print(*printer, error, progress);
        });
}

void PrintPreviewClass::showDialog(QWidget* dialog) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::NonModal);
    dialog_ = dialog;
    connect(dialog, &QObject::destroyed, this, &PrintPreviewClass::updateActions);
    updateActions();
    emit dialogOpened(dialog);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void PrintPreviewClass::warn(const QString& title, const QString& text) {
    if (dialog_)
        return;  // the user is answering another question
    showDialog(new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, this));
}

void PrintPreviewClass::saveWithDialog() {
    if (!document_ || pagesShown_ == 0 || dialog_ || outputRunning())
        return;
    QString name = document_->declaration().title;
    if (name.isEmpty())
        name = QStringLiteral("report");
    auto* dialog =
        new QFileDialog(this, QStringLiteral("Сохранить в PDF"), name + QStringLiteral(".pdf"),
                        QStringLiteral("Документ PDF (*.pdf)"));
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QStringLiteral("pdf"));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& file) {
        dialog_ = nullptr;
        savePdf(file);
    });
    showDialog(dialog);
}

void PrintPreviewClass::printWithDialog() {
    if (!document_ || pagesShown_ == 0 || dialog_ || outputRunning())
        return;
    // Without a printer the system's dialog has nowhere to print; a PDF file is
    // what can be made of the pages then.
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Печать"),
                                    QStringLiteral("Принтер не установлен. Страницы можно "
                                                   "сохранить в файл PDF."),
                                    QMessageBox::Ok, this);
        connect(box, &QDialog::finished, this, [this] {
            dialog_ = nullptr;
            saveWithDialog();
        });
        showDialog(box);
        return;
    }
    // The printer lives as long as the dialog, and then as long as the printing.
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setPageLayout(QPageLayout(document_->declaration().paper,
                                       document_->declaration().orientation, QMarginsF(0, 0, 0, 0),
                                       QPageLayout::Millimeter));
    printer->setDocName(document_->declaration().title);
    printer->setFromTo(1, pagesShown_);
    auto* dialog = new QPrintDialog(printer.get(), this);
    dialog->setMinMax(1, pagesShown_);
    dialog->setOption(QAbstractPrintDialog::PrintPageRange, true);
    connect(dialog, &QDialog::accepted, this, [this, printer] {
        dialog_ = nullptr;
        printPages(printer);
    });
    showDialog(dialog);
}

WindowPlacement PrintPreviewClass::placement() const {
    const QRect g = isMaximized() ? normalGeometry() : geometry();
    return {g.x(), g.y(), g.width(), g.height(), isMaximized()};
}

void PrintPreviewClass::setPlacement(const WindowPlacement& p) {
    if (p.width > 0 && p.height > 0)
        setGeometry(p.x, p.y, p.width, p.height);
    if (p.maximized)
        maximize_ = true;
}

void PrintPreviewClass::closeEvent(QCloseEvent* event) {
    timer_->stop();
    cancelOutput();
    if (ini_ && !settingsSaved_) {
        settingsSaved_ = true;
        ini_->Update(iniName_, *this);
        if (userZoom_)
            ini_->Update(iniName_, kZoomKey, QString::number(zoom_));
    }
    QMainWindow::closeEvent(event);
    emit closed();
}
