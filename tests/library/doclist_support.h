#pragma once
// Document bases for the document list's tests, benchmark and screenshots:
// cards with their document texts and bookmarks, written through the
// program's own tables on a thread of their own.

#include <QByteArray>
#include <QString>
#include <vector>

#include "core/values.h"

namespace doclist {

struct Card {
    LONG id = 0;
    QString name;
    QString pname1, pname2, pname3;
    QString ndok;
    LONG approved = 0;  // day numbers; 0 no date
    LONG inForce = 0;
    QString wordkey;
    QString nfile;
    BYTE status = 0;
    QByteArray text;  // the document text (RTF)
    QByteArray work;  // the working copy
};

struct Bookmark {
    LONG card = 0;
    QString name;
    QString passage;
    LONG id = 0;  // 0: its place in the list, from 1
};

// A small RTF document holding `text` (any characters).
QByteArray rtfOf(const QString& text);

// Writes the cards and bookmarks into the base in `folder` (a program folder
// ending in its separator, "c:\\base\\"), replacing what its tables held. True
// when everything was written.
bool writeBase(const QString& folder, const std::vector<Card>& cards,
               const std::vector<Bookmark>& bookmarks = {});
// Makes `folder` the active base named `name`: PUT, PUT1, PUT2 and TEMA.
void activate(const QString& folder, const QString& name);
// The cards of the base in `folder`, in the order of their numbers.
std::vector<Card> readBase(const QString& folder);
// The card in the calling thread's KALDOR buffer, with its bodies.
Card bufferCard();
// Puts `c` into the calling thread's KALDOR buffer, cleared first.
void putCard(const Card& c);

}  // namespace doclist
