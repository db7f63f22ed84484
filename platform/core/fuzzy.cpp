#include "fuzzy.h"

#include <QVarLengthArray>
#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <type_traits>

#include "fold.h"
#include "parallel.h"

namespace {

std::atomic<const FuzzyClass*> gMatcher{nullptr};

using rt::caselessMark;
using rt::kQtFolds;
using rt::quickFold;

inline bool isWordChar(char16_t c) {
    if (c < 0x80)
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (c >= 0x400 && c <= 0x45F)
        return true;
    return !caselessMark(c) && QChar(c).isLetterOrNumber();
}

// Appends the text as QString::toCaseFolded gives it.
template <typename Out>
void foldInto(QStringView s, Out& out) {
    const size_t start = out.size();
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = quickFold(s[i].unicode());
        if (c != kQtFolds) {
            out.push_back(c);
        } else {
            out.resize(start);
            const QString f = s.toString().toCaseFolded();
            for (QChar ch : f)
                out.push_back(ch.unicode());
            return;
        }
    }
}

QString folded(QStringView s) {
    std::vector<char16_t> out;
    out.reserve(size_t(s.size()));
    foldInto(s, out);
    return QString(reinterpret_cast<const QChar*>(out.data()), qsizetype(out.size()));
}

// A text of Latin and Cyrillic letters, digits and those marks, a byte a
// character: ASCII as it is, the Cyrillic block from 0x80, the marks from 0xE0.
// A query character no text has becomes kForeign, which no text holds.
constexpr std::uint8_t kForeign = 0xFF;

inline std::uint8_t narrowOf(char16_t c) {
    if (c < 0x80)
        return std::uint8_t(c);
    if (c >= 0x400 && c <= 0x45F)
        return std::uint8_t(0x80 + (c - 0x400));
    for (size_t i = 0; i < std::size(rt::kCaselessMarks); ++i) {
        if (rt::kCaselessMarks[i] == c)
            return std::uint8_t(0xE0 + i);
    }
    return kForeign;
}

inline bool isWordChar(std::uint8_t c) {
    if (c < 0x80)
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    return c < 0xE0;
}

template <typename Ch>
struct Span {
    const Ch* p = nullptr;
    int n = 0;
    bool operator==(const Span& o) const { return n == o.n && std::equal(p, p + n, o.p); }
    bool startsWith(const Span& w) const { return n >= w.n && std::equal(w.p, w.p + w.n, p); }
    bool contains(const Span& w) const { return std::search(p, p + n, w.p, w.p + w.n) != p + n; }
};

// Splits into words (letters and digits).
template <typename Ch>
QVarLengthArray<Span<Ch>, 64> words(const Ch* s, int n) {
    QVarLengthArray<Span<Ch>, 64> out;
    int i = 0;
    while (i < n) {
        while (i < n && !isWordChar(s[i]))
            ++i;
        const int start = i;
        while (i < n && isWordChar(s[i]))
            ++i;
        if (i > start)
            out.append(Span<Ch>{s + start, i - start});
    }
    return out;
}

// Edit distance between a and b, or limit + 1 once it is sure to exceed limit.
template <typename Ch>
int boundedDistance(Span<Ch> a, Span<Ch> b, int limit) {
    const int m = a.n;
    const int n = b.n;
    if (std::abs(m - n) > limit)
        return limit + 1;
    QVarLengthArray<int, 64> prev(n + 1), cur(n + 1);
    for (int j = 0; j <= n; ++j)
        prev[j] = j;
    for (int i = 1; i <= m; ++i) {
        cur[0] = i;
        int rowMin = cur[0];
        for (int j = 1; j <= n; ++j) {
            const int cost = a.p[i - 1] == b.p[j - 1] ? 0 : 1;
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + cost});
            rowMin = std::min(rowMin, cur[j]);
        }
        if (rowMin > limit)
            return limit + 1;
        std::swap(prev, cur);
    }
    return prev[n];
}

// The edit distance between a word of at most 64 characters and another, a
// column of the distance table at a time as the bits of two words (Myers,
// Hyyrö): `eq` has, for each character, the bits of the places it holds in
// the first word.
int bitDistance(const std::array<std::uint64_t, 256>& eq, int m, const std::uint8_t* b, int n) {
    const std::uint64_t last = std::uint64_t(1) << (m - 1);
    std::uint64_t pv = ~std::uint64_t(0), mv = 0;
    int d = m;
    for (int j = 0; j < n; ++j) {
        const std::uint64_t e = eq[b[j]];
        const std::uint64_t xv = e | mv;
        const std::uint64_t xh = (((e & pv) + pv) ^ pv) | e;
        std::uint64_t ph = mv | ~(xh | pv);
        std::uint64_t mh = pv & xh;
        if (ph & last)
            ++d;
        else if (mh & last)
            --d;
        ph = (ph << 1) | 1;
        mh <<= 1;
        pv = mh | ~(xv | ph);
        mv = ph & xv;
    }
    return d;
}

// A query ready to be matched against texts of characters Ch.
template <typename Ch>
struct Query {
    std::vector<Ch> chars;  // the words, one after the other
    QVarLengthArray<Span<Ch>, 16> words;
    // Per word of at most 64 characters of a query of bytes: where each
    // character stands in it, for bitDistance.
    std::vector<std::array<std::uint64_t, 256>> eq;
    std::vector<Ch> phrase;
    bool phrasePossible = true;  // the phrase can stand in a text of Ch at all
    bool wordOnly = false;

    // Edit distance between query word `i` and x, or more than limit when it
    // is more.
    int distance(int i, Span<Ch> x, int limit) const {
        const Span<Ch>& w = words[i];
        if constexpr (std::is_same_v<Ch, std::uint8_t>) {
            if (size_t(i) < eq.size() && w.n <= 64)
                return bitDistance(eq[size_t(i)], w.n, x.p, x.n);
        }
        return boundedDistance(w, x, limit);
    }
};

// The folded (or not) query `q` with its words as positions in it.
struct Prepared {
    QString q;
    QVarLengthArray<Span<char16_t>, 16> words;
    QString phrase;
};

Prepared prepare(QStringView query, bool noCase) {
    Prepared p;
    p.q = noCase ? folded(query) : query.toString();
    for (const auto& w : words(reinterpret_cast<const char16_t*>(p.q.utf16()), int(p.q.size())))
        p.words.append(w);
    p.phrase = p.q.simplified();
    return p;
}

Query<char16_t> wideQuery(const Prepared& p, bool wordOnly) {
    Query<char16_t> q;
    q.wordOnly = wordOnly;
    for (const auto& w : p.words)
        q.words.append(w);
    const auto* ph = reinterpret_cast<const char16_t*>(p.phrase.utf16());
    q.phrase.assign(ph, ph + p.phrase.size());
    return q;
}

Query<std::uint8_t> narrowQuery(const Prepared& p, bool wordOnly) {
    Query<std::uint8_t> q;
    q.wordOnly = wordOnly;
    size_t total = 0;
    for (const auto& w : p.words)
        total += size_t(w.n);
    q.chars.reserve(total);
    for (const auto& w : p.words) {
        for (int i = 0; i < w.n; ++i)
            q.chars.push_back(narrowOf(w.p[i]));
    }
    size_t at = 0;
    for (const auto& w : p.words) {
        q.words.append(Span<std::uint8_t>{q.chars.data() + at, w.n});
        at += size_t(w.n);
    }
    for (const auto& w : q.words) {
        auto& eq = q.eq.emplace_back();
        eq.fill(0);
        for (int i = 0; i < w.n && i < 64; ++i)
            eq[w.p[i]] |= std::uint64_t(1) << i;
    }
    for (QChar c : p.phrase) {
        const std::uint8_t b = narrowOf(c.unicode());
        q.phrasePossible = q.phrasePossible && b != kForeign;
        q.phrase.push_back(b);
    }
    return q;
}

template <typename Ch>
int score(const Query<Ch>& query, const Ch* text, int length) {
    const auto& qWords = query.words;
    if (qWords.isEmpty())
        return 0;
    const auto tWords = words(text, length);

    // Each query word earns up to 1.0: found as typed (1.0), found as the start
    // of a word (0.9), found inside a word (0.8, unless whole words only), or a
    // near miss of a word by a typo or two.
    double total = 0;
    for (int qi = 0; qi < int(qWords.size()); ++qi) {
        const Span<Ch>& w = qWords[qi];
        double best = 0;
        for (const Span<Ch>& x : tWords) {
            if (x == w) {
                best = 1.0;
                break;
            }
            if (!query.wordOnly && x.n > w.n) {
                if (x.startsWith(w)) {
                    best = std::max(best, 0.9);
                    continue;
                }
                if (x.contains(w)) {
                    best = std::max(best, 0.8);
                    continue;
                }
            }
            // Typos: a word of four letters may have one, of eight two. A
            // typo scores below 0.75 * (1 - 1 / longer): no better than a
            // match found already, and then it is not looked for.
            const int limit = std::max(1, w.n / 4);
            if (w.n < 3 || std::abs(w.n - x.n) > limit ||
                best >= 0.75 * (1.0 - 1.0 / double(std::max(w.n, x.n))))
                continue;
            const int d = query.distance(qi, x, limit);
            if (d <= limit) {
                const double sim = 1.0 - double(d) / double(std::max(w.n, x.n));
                best = std::max(best, 0.75 * sim);
            }
        }
        total += best;
    }
    double s = total / double(qWords.size());
    // The whole query standing in the text as typed beats the same words apart.
    if (qWords.size() > 1) {
        const bool in =
            query.phrasePossible && std::search(text, text + length, query.phrase.begin(),
                                                query.phrase.end()) != text + length;
        if (!in)
            s *= 0.97;
    }
    return std::clamp(int(s * 255.0 + 0.5), 0, 255);
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
    // A search matches one query against every card: the query is prepared
    // once per thread and query.
    struct Cached {
        QString query;
        bool noCase = false;
        bool wordOnly = false;
        bool valid = false;
        Prepared prepared;
        Query<char16_t> wide;
    };
    thread_local Cached cached;
    if (!cached.valid || cached.noCase != noCase || cached.wordOnly != wordOnly_ ||
        cached.query != query) {
        cached.query = query.toString();
        cached.noCase = noCase;
        cached.wordOnly = wordOnly_;
        // The query's words point into the prepared text, which stays where
        // it was made.
        cached.prepared = prepare(query, noCase);
        cached.wide = wideQuery(cached.prepared, cached.wordOnly);
        cached.valid = true;
    }
    if (noCase) {
        // Folded into a buffer the thread keeps: a search folds every card.
        thread_local std::vector<char16_t> t;
        t.clear();
        foldInto(text, t);
        return score(cached.wide, t.data(), int(t.size()));
    }
    return score(cached.wide, reinterpret_cast<const char16_t*>(text.utf16()), int(text.size()));
}

std::vector<std::uint8_t> FuzzyClass::MatchAll(QStringView query, const FuzzyCorpus& corpus) const {
    std::vector<std::uint8_t> out(corpus.size());
    const Prepared p = prepare(query, corpus.noCase());
    const Query<char16_t> wide = wideQuery(p, wordOnly_);
    const Query<std::uint8_t> narrow = narrowQuery(p, wordOnly_);
    rt::parallelFor(corpus.size(), 2048, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            const FuzzyCorpus::Text& t = corpus.texts_[i];
            out[i] = std::uint8_t(
                t.wide ? score(wide, static_cast<const char16_t*>(t.at), int(t.length))
                       : score(narrow, static_cast<const std::uint8_t*>(t.at), int(t.length)));
        }
    });
    return out;
}

// ---------------------------------------------------------------------------

bool FuzzyCorpus::keeps(char16_t c) {
    // A run of more than two blanks cannot hold the query's phrase (its words are
    // one blank apart) nor a word: two keep the same scores.
    if (c != u' ') {
        blanks_ = 0;
        return true;
    }
    return ++blanks_ <= 2;
}

void FuzzyCorpus::push(char16_t c) {
    if (keeps(c))
        current_.push_back(c);
}

void FuzzyCorpus::append(QStringView piece) {
    if (!noCase_) {
        for (QChar c : piece)
            push(c.unicode());
        return;
    }
    // Latin, Cyrillic and the marks fold here, straight into the text; a piece
    // with another letter is folded whole as the whole text folds (a character
    // folds alone).
    const size_t start = current_.size();
    const int blanks = blanks_;
    current_.resize(start + size_t(piece.size()));
    char16_t* out = current_.data();
    size_t at = start;
    for (qsizetype i = 0; i < piece.size(); ++i) {
        const char16_t c = quickFold(piece[i].unicode());
        if (c == kQtFolds) {
            current_.resize(start);
            blanks_ = blanks;
            thread_local std::vector<char16_t> f;
            f.clear();
            foldInto(piece, f);
            for (char16_t u : f)
                push(u);
            return;
        }
        if (keeps(c))
            out[at++] = c;
    }
    current_.resize(at);
}

void FuzzyCorpus::appendBlanks(int n) {
    for (int i = 0; i < n && blanks_ < 2; ++i)
        push(u' ');
}

void FuzzyCorpus::endText() {
    const size_t n = current_.size();
    std::uint8_t* out = narrow_.extend(n);
    Text t{out, std::uint32_t(n), false};
    for (size_t i = 0; i < n; ++i) {
        const std::uint8_t b = narrowOf(current_[i]);
        if (b == kForeign) {
            narrow_.shrink(n);
            char16_t* w = wide_.extend(n);
            std::copy(current_.begin(), current_.end(), w);
            t = Text{w, std::uint32_t(n), true};
            break;
        }
        out[i] = b;
    }
    texts_.push_back(t);
    current_.clear();
    blanks_ = 0;
}

void FuzzyCorpus::reserveFor(const std::vector<const FuzzyCorpus*>& more) {
    size_t texts = texts_.size();
    for (const FuzzyCorpus* c : more)
        texts += c->texts_.size();
    texts_.reserve(texts);
}

void FuzzyCorpus::take(FuzzyCorpus&& other) {
    texts_.insert(texts_.end(), other.texts_.begin(), other.texts_.end());
    narrow_.take(std::move(other.narrow_));
    wide_.take(std::move(other.wide_));
    other.clear();
    other.texts_.shrink_to_fit();
}

size_t FuzzyCorpus::bytes() const {
    return texts_.capacity() * sizeof(Text) + narrow_.bytes() + wide_.bytes();
}

void FuzzyCorpus::clear() {
    texts_.clear();
    narrow_.clear();
    wide_.clear();
    current_.clear();
    blanks_ = 0;
}

void FuzzyCorpus::reserve(size_t texts) {
    texts_.reserve(texts);
}

int FuzzyMatch(QStringView query, QStringView text) {
    return rt::fuzzyMatcher().Match(query, text);
}

namespace rt {
void setFuzzyMatcher(const FuzzyClass* matcher) {
    gMatcher = matcher;
}

const FuzzyClass& fuzzyMatcher() {
    if (const FuzzyClass* m = gMatcher.load())
        return *m;
    static FuzzyClass fallback;
    return fallback;
}
}  // namespace rt
