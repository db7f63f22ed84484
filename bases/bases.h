#pragma once
// Document bases: the active base, the base list and the topic list (BrowseBD,
// BrowseRub, declared with the program's procedures) and their forms.

// Makes the base whose row the calling thread's CONFIG record buffer holds the
// active base: PUT1, PUT2, PUT and TEMA.
void SetActiveBase();

// The form of one base (kaldo005): the request in GlobalRequest, the answer in
// GlobalResponse.
void UpDateBD();

// The form of one topic (kaldo008), called by the topic list in the same way.
void UpDateRub();

class Window;

// List style 1 of a list of bases: a base that is off, bold and silver, in
// `face` (empty: the list's own).
void OffBaseStyle(Window& window, int list, const char16_t* face);
