#pragma once
// The fuzzy matcher of the document list's search: how well a text matches what
// the user typed, as a score from 0 (nothing in common) to 255 (every word of the
// query found as typed). A misspelt word still scores, less than an exact one.
//
// A search scores one query against every card of a base. FuzzyCorpus keeps the
// cards' texts folded and compact between searches, and MatchAll scores them all
// on every core; each text scores exactly as Match scores it.

#include <QString>
#include <QStringView>
#include <atomic>
#include <cstdint>
#include <vector>

#include "blocks.h"

class FuzzyCorpus;

class FuzzyClass {
  public:
    enum Option { NOCASE = 1, WORDONLY = 2 };

    void Init();
    void Kill();
    // Option 1 (NOCASE): letter case is ignored; option 2 (WORDONLY): query words
    // match whole words of the text only.
    void SetOption(int option, int value);
    bool NoCase() const { return noCase_; }

    int Match(QStringView query, QStringView text) const;
    // The score of each text of the corpus, in its order. A corpus folded
    // otherwise than this matcher folds (NoCase) scores its texts as they are.
    std::vector<std::uint8_t> MatchAll(QStringView query, const FuzzyCorpus& corpus) const;

  private:
    std::atomic<bool> noCase_{true};
    std::atomic<bool> wordOnly_{false};
};

// Texts prepared for many searches. A text is given in pieces (the fields of a
// card and the blanks between them): append, then endText. Texts of Latin and
// Cyrillic letters, digits and the usual marks take a byte a character.
class FuzzyCorpus {
  public:
    explicit FuzzyCorpus(bool noCase = true) : noCase_(noCase) {}
    bool noCase() const { return noCase_; }
    void append(QStringView piece);
    void appendBlanks(int n);
    void endText();
    // Room for the texts of these corpora too (before taking them).
    void reserveFor(const std::vector<const FuzzyCorpus*>& more);
    // Appends the texts of another corpus folded the same way (they stay
    // where they are), and empties it.
    void take(FuzzyCorpus&& other);
    size_t size() const { return texts_.size(); }
    // The memory the texts take.
    size_t bytes() const;
    void clear();
    void reserve(size_t texts);

  private:
    friend class FuzzyClass;
    struct Text {
        const void* at;  // in narrow_ or wide_
        std::uint32_t length;
        bool wide;
    };
    // Whether c goes into the text: not a blank past two in a row.
    bool keeps(char16_t c);
    void push(char16_t c);

    bool noCase_;
    std::vector<Text> texts_;
    rt::Blocks<std::uint8_t> narrow_;
    rt::Blocks<char16_t> wide_;
    std::vector<char16_t> current_;  // the text being given
    int blanks_ = 0;                 // blanks at the end of it
};

// The fuzzy match through the program's matcher (set with setFuzzyMatcher).
int FuzzyMatch(QStringView query, QStringView text);
namespace rt {
void setFuzzyMatcher(const FuzzyClass* matcher);
// The program's matcher (a default one when none is set).
const FuzzyClass& fuzzyMatcher();
}  // namespace rt
