#pragma once
// The program's procedures that other procedures call or start.

// The program body, run on thread 1 (kaldor.cpp).
void _main();
// The MDI frame (kaldo001.cpp).
void Main();
// The list windows, each started by the frame on a thread of its own.
// The topic list with the bases of each topic (bases/kaldo007).
void BrowseRub();
// The base list (bases/kaldo004).
void BrowseBD();
// The document list of the active base (library/kaldo013).
void Browsekaldor();
// The card form (library/kaldo003) and the bookmark form (library/kaldo006),
// called directly on the thread of the list that asks for them.
void Updatekaldor();
void UpdateZk();
// The register report of the active base (library/kaldo011.cpp), started on a
// thread of its own.
void PrintRs();
