#pragma once
// Placeholders of the list windows until their own modules land: each opens
// an empty MDI child titled with the procedure's name.
//
// To land a real procedure, delete its file here (BrowseRub.cpp, BrowseBD.cpp,
// Browsekaldor.cpp) in the same change that adds the real one;
// the folder's files are globbed, so nothing else changes. Both left in place
// fail the link with a duplicate definition. Delete this folder with the last
// of them.

#include <QStringView>

void runPlaceholder(QStringView procedure);
