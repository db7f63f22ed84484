#pragma once
// Document bases for the register report's tests, benchmark and screenshots:
// cards written into a base's KALDOR.TPS through the program's own tables,
// as the document bases write them (doclist_support.h).

#include <QString>
#include <vector>

#include "doclist_support.h"

// What the register prints of a card: its number, the three lines of its full
// name (the first is its name too), its document number and dates.
using RegisterCard = doclist::Card;

// The cards of the program's demo catalogue (app/demo/demo.json), numbered
// 1, 2, ... in the catalogue's order.
std::vector<RegisterCard> demoCards();
// `n` made-up cards numbered first, first + 1, ...; the same cards every time.
std::vector<RegisterCard> madeUpCards(int n, LONG first = 1);

// Writes the cards into the base in `folder` (a program folder name ending in
// its separator, "c:\\base\\"), on a thread of its own, and leaves PUT1 and PUT2
// naming that base. False when a card could not be written.
bool makeBase(const QString& folder, const std::vector<RegisterCard>& cards);
// Makes `folder` (a program name) the active base: PUT, PUT1, PUT2 and TEMA.
void setActiveBase(const QString& folder, const QString& name);
