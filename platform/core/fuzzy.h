#pragma once
// The fuzzy matcher of the document list's search: how well a text matches what
// the user typed, as a score from 0 (nothing in common) to 255 (every word of the
// query found as typed). A misspelt word still scores, less than an exact one.

#include <QString>
#include <QStringView>
#include <atomic>

class FuzzyClass {
  public:
    enum Option { NOCASE = 1, WORDONLY = 2 };

    void Init();
    void Kill();
    // Option 1 (NOCASE): letter case is ignored; option 2 (WORDONLY): query words
    // match whole words of the text only.
    void SetOption(int option, int value);

    int Match(QStringView query, QStringView text) const;

  private:
    std::atomic<bool> noCase_{true};
    std::atomic<bool> wordOnly_{false};
};

// The fuzzy match through the program's matcher (set with setFuzzyMatcher).
int FuzzyMatch(QStringView query, QStringView text);
namespace rt {
void setFuzzyMatcher(const FuzzyClass* matcher);
}
