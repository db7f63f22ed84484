// The find and the find-and-replace dialog of the rich-text control.

#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "rtfeditor.h"
#include "ui/gui.h"

namespace rt::rtfctl {

namespace {

class FindDialog : public QDialog {
  public:
    FindDialog(Editor* editor, bool replace, const QString& text, std::function<void(int)> done,
               QWidget* parent)
        : QDialog(parent), editor_(editor), done_(std::move(done)) {
        setWindowTitle(replace ? QStringLiteral("Заменить") : QStringLiteral("Найти"));
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowModality(Qt::NonModal);

        find_ = new QLineEdit(text);
        find_->setObjectName(QStringLiteral("findText"));
        // Room for a bookmarked passage's first words.
        find_->setMinimumWidth(find_->fontMetrics().averageCharWidth() * 36);
        auto* findLabel = new QLabel(QStringLiteral("&Что:"));
        findLabel->setBuddy(find_);
        auto* grid = new QGridLayout;
        grid->addWidget(findLabel, 0, 0);
        grid->addWidget(find_, 0, 1);
        if (replace) {
            with_ = new QLineEdit(editor->lastReplace());
            with_->setObjectName(QStringLiteral("replaceText"));
            auto* withLabel = new QLabel(QStringLiteral("Заменить &на:"));
            withLabel->setBuddy(with_);
            grid->addWidget(withLabel, 1, 0);
            grid->addWidget(with_, 1, 1);
        }
        const Editor::FindOptions last = editor->lastOptions();
        whole_ = new QCheckBox(QStringLiteral("Только слово &целиком"));
        whole_->setObjectName(QStringLiteral("wholeWords"));
        whole_->setChecked(last.wholeWords);
        case_ = new QCheckBox(QStringLiteral("Учитывать &регистр"));
        case_->setObjectName(QStringLiteral("matchCase"));
        case_->setChecked(last.matchCase);
        auto* left = new QVBoxLayout;
        left->addLayout(grid);
        auto* options = new QHBoxLayout;
        auto* checks = new QVBoxLayout;
        checks->addWidget(whole_);
        checks->addWidget(case_);
        checks->addStretch();
        options->addLayout(checks);
        if (!replace) {
            auto* dir = new QGroupBox(QStringLiteral("Направление"));
            up_ = new QRadioButton(QStringLiteral("&Вверх"));
            up_->setObjectName(QStringLiteral("up"));
            auto* down = new QRadioButton(QStringLiteral("В&низ"));
            down->setObjectName(QStringLiteral("down"));
            (last.backward ? up_ : down)->setChecked(true);
            auto* dl = new QHBoxLayout(dir);
            dl->addWidget(up_);
            dl->addWidget(down);
            options->addWidget(dir);
        }
        left->addLayout(options);
        left->addStretch();

        auto* buttons = new QVBoxLayout;
        findNext_ = button(buttons, QStringLiteral("Найти &далее"), QStringLiteral("findNext"));
        findNext_->setDefault(true);
        connect(findNext_, &QPushButton::clicked, this, [this] { next(); });
        if (replace) {
            connect(button(buttons, QStringLiteral("&Заменить"), QStringLiteral("replace")),
                    &QPushButton::clicked, this, [this] { replaceOne(); });
            connect(button(buttons, QStringLiteral("Заменить &все"), QStringLiteral("replaceAll")),
                    &QPushButton::clicked, this, [this] { replaceAll(); });
        }
        connect(button(buttons, QStringLiteral("Закрыть"), QStringLiteral("close")),
                &QPushButton::clicked, this, &QDialog::reject);
        buttons->addStretch();

        auto* top = new QHBoxLayout(this);
        top->addLayout(left, 1);
        top->addLayout(buttons);
        connect(find_, &QLineEdit::textChanged, this, [this] { enable(); });
        enable();
        find_->selectAll();
        find_->setFocus();
        connect(this, &QDialog::finished, this, [this](int) { answer(); });
    }
    ~FindDialog() override { answer(); }

  private:
    static QPushButton* button(QVBoxLayout* into, const QString& text, const QString& name) {
        auto* b = new QPushButton(text);
        b->setObjectName(name);
        b->setAutoDefault(false);
        into->addWidget(b);
        return b;
    }

    Editor::FindOptions options() const {
        Editor::FindOptions o;
        o.matchCase = case_->isChecked();
        o.wholeWords = whole_->isChecked();
        o.backward = up_ && up_->isChecked();
        return o;
    }

    bool usable() const { return editor_ && editor_->textEdit() && !find_->text().isEmpty(); }

    void enable() {
        const bool on = !find_->text().isEmpty();
        for (QPushButton* b : findChildren<QPushButton*>()) {
            if (b->objectName() != u"close")
                b->setEnabled(on);
        }
    }

    void notFound() {
        editor_->say(this, QStringLiteral("Текст «%1» не найден.").arg(find_->text()));
    }

    void next() {
        if (!usable())
            return;
        if (editor_->findNext(find_->text(), options()))
            keepClear();
        else
            notFound();
    }

    void replaceOne() {
        if (!usable())
            return;
        if (editor_->replaceCurrent(find_->text(), with_->text(), options()))
            keepClear();
        else
            notFound();
    }

    // The dialog moves off what it found: below it, else above it.
    void keepClear() {
        const QRect found = editor_->selectionRect().adjusted(-4, -4, 4, 4);
        const QRect me = frameGeometry();
        if (!me.intersects(found))
            return;
        const QRect screen = this->screen()->availableGeometry();
        int y = found.bottom() + 12;
        if (y + me.height() > screen.bottom())
            y = found.top() - 12 - me.height();
        move(x(), std::max(screen.top(), y));
    }

    void replaceAll() {
        if (!usable())
            return;
        const int n = editor_->replaceAll(find_->text(), with_->text(), options());
        if (n == 0)
            notFound();
        else
            editor_->say(this, QStringLiteral("Произведено замен: %1.").arg(n));
    }

    void answer() {
        if (!done_)
            return;
        auto done = std::move(done_);
        done_ = nullptr;
        done(0);
    }

    QPointer<Editor> editor_;
    std::function<void(int)> done_;
    QLineEdit* find_ = nullptr;
    QLineEdit* with_ = nullptr;
    QCheckBox* whole_ = nullptr;
    QCheckBox* case_ = nullptr;
    QRadioButton* up_ = nullptr;
    QPushButton* findNext_ = nullptr;
};

}  // namespace

QWidget* makeFindDialog(Editor* editor, bool replace, const QString& text,
                        std::function<void(int)> done) {
    auto* dlg =
        new FindDialog(editor, replace, text, std::move(done), gui::dialogParent(editor->thread()));
    dlg->setObjectName(replace ? QStringLiteral("rtfReplaceDialog")
                               : QStringLiteral("rtfFindDialog"));
    return dlg;
}

}  // namespace rt::rtfctl
