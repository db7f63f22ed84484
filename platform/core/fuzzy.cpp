#include "fuzzy.h"

#include <QVarLengthArray>
#include <algorithm>
#include <atomic>

namespace {

std::atomic<const FuzzyClass*> gMatcher{nullptr};

// The texts of the cards are Latin and Cyrillic letters, digits and a few
// marks that have no case and are no letters: those are folded and told
// apart here without Qt's tables (the same answers, quicker).
inline bool caselessMark(char16_t c) {
    return c == 0xA0 || c == 0xAB || c == 0xBB || c == 0x2013 || c == 0x2014 || c == 0x2019 ||
           c == 0x201C || c == 0x201D || c == 0x201E || c == 0x2116;
}

inline bool isWordChar(QChar ch) {
    const char16_t c = ch.unicode();
    if (c < 0x80)
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (c >= 0x400 && c <= 0x45F)
        return true;
    return !caselessMark(c) && ch.isLetterOrNumber();
}

// The text as QString::toCaseFolded gives it.
QString folded(QStringView s) {
    QString out(s.size(), Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c < 0x80)
            d[i] = c >= u'A' && c <= u'Z' ? char16_t(c + 0x20) : c;
        else if (c >= 0x410 && c <= 0x42F)
            d[i] = char16_t(c + 0x20);
        else if (c >= 0x400 && c <= 0x40F)
            d[i] = char16_t(c + 0x50);
        else if ((c >= 0x430 && c <= 0x45F) || caselessMark(c))
            d[i] = c;
        else
            return s.toString().toCaseFolded();
    }
    return out;
}

// Splits into words (letters and digits), keeping their positions in `s`.
struct Word {
    int pos;
    int len;
};
QVarLengthArray<Word, 64> words(QStringView s) {
    QVarLengthArray<Word, 64> out;
    const int n = int(s.size());
    int i = 0;
    while (i < n) {
        while (i < n && !isWordChar(s[i]))
            ++i;
        const int start = i;
        while (i < n && isWordChar(s[i]))
            ++i;
        if (i > start)
            out.append(Word{start, i - start});
    }
    return out;
}

// Edit distance between a and b, or limit + 1 once it is sure to exceed limit.
int boundedDistance(QStringView a, QStringView b, int limit) {
    const int m = int(a.size());
    const int n = int(b.size());
    if (std::abs(m - n) > limit)
        return limit + 1;
    QVarLengthArray<int, 64> prev(n + 1), cur(n + 1);
    for (int j = 0; j <= n; ++j)
        prev[j] = j;
    for (int i = 1; i <= m; ++i) {
        cur[0] = i;
        int rowMin = cur[0];
        for (int j = 1; j <= n; ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + cost});
            rowMin = std::min(rowMin, cur[j]);
        }
        if (rowMin > limit)
            return limit + 1;
        std::swap(prev, cur);
    }
    return prev[n];
}

}  // namespace

void FuzzyClass::Init() {
    noCase_ = true;
    wordOnly_ = false;
}

void FuzzyClass::Kill() {}

void FuzzyClass::SetOption(int option, int value) {
    if (option == NOCASE)
        noCase_ = value != 0;
    if (option == WORDONLY)
        wordOnly_ = value != 0;
}

int FuzzyClass::Match(QStringView query, QStringView text) const {
    const bool noCase = noCase_;
    const bool wordOnly = wordOnly_;
    // A search matches one query against every card: the query is prepared
    // once per thread and query.
    struct Prepared {
        QString query;
        bool noCase = false;
        bool valid = false;
        QString q;
        QVarLengthArray<Word, 64> words;
        QString phrase;
    };
    thread_local Prepared prepared;
    if (!prepared.valid || prepared.noCase != noCase || prepared.query != query) {
        prepared.query = query.toString();
        prepared.noCase = noCase;
        prepared.q = noCase ? folded(query) : query.toString();
        prepared.words = words(prepared.q);
        prepared.phrase = prepared.q.simplified();
        prepared.valid = true;
    }
    const QString& q = prepared.q;
    const auto& qWords = prepared.words;
    if (qWords.isEmpty())
        return 0;
    const QString t = noCase ? folded(text) : text.toString();
    const auto tWords = words(t);

    // Each query word earns up to 1.0: found as typed (1.0), found as the start
    // of a word (0.9), found inside a word (0.8, unless whole words only), or a
    // near miss of a word by a typo or two.
    double total = 0;
    for (const Word& qw : qWords) {
        const QStringView w = QStringView(q).mid(qw.pos, qw.len);
        double best = 0;
        for (const Word& tw : tWords) {
            const QStringView x = QStringView(t).mid(tw.pos, tw.len);
            if (x == w) {
                best = 1.0;
                break;
            }
            if (!wordOnly && x.size() > w.size()) {
                if (x.startsWith(w)) {
                    best = std::max(best, 0.9);
                    continue;
                }
                if (x.contains(w)) {
                    best = std::max(best, 0.8);
                    continue;
                }
            }
            // Typos: a word of four letters may have one, of eight two.
            const int limit = std::max(1, int(w.size()) / 4);
            if (w.size() < 3)
                continue;
            const int d = boundedDistance(w, x, limit);
            if (d <= limit) {
                const double sim = 1.0 - double(d) / double(std::max(w.size(), x.size()));
                best = std::max(best, 0.75 * sim);
            }
        }
        total += best;
    }
    double score = total / double(qWords.size());
    // The whole query standing in the text as typed beats the same words apart.
    if (qWords.size() > 1 && !t.contains(prepared.phrase))
        score *= 0.97;
    return std::clamp(int(score * 255.0 + 0.5), 0, 255);
}

int FuzzyMatch(QStringView query, QStringView text) {
    const FuzzyClass* m = gMatcher.load();
    if (m)
        return m->Match(query, text);
    static FuzzyClass fallback;
    return fallback.Match(query, text);
}

namespace rt {
void setFuzzyMatcher(const FuzzyClass* matcher) {
    gMatcher = matcher;
}
}  // namespace rt
