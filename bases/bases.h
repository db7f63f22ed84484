#pragma once
// Document bases: the active base, the base list (BrowseBD, declared with the
// program's procedures) and the base form.

// Makes the base whose row the calling thread's CONFIG record buffer holds the
// active base: PUT1, PUT2, PUT and TEMA.
void SetActiveBase();

// The form of one base (kaldo005): the request in GlobalRequest, the answer in
// GlobalResponse.
void UpDateBD();
