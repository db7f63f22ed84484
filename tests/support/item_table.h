#pragma once
// A table of items for the tests of what works over tables (forms, reports):
// a numbered id, a unique name (compared without case) and a note. One per
// thread, as the program's tables are.

#include <QString>

#include "core/errors.h"
#include "table/filemanager.h"

struct ItemTable {
    struct Record {
        LONG ID = 0;
        STRING<40> NAME;
        STRING<20> NOTE;
    } R;
    TableFile file{QStringLiteral("ITEMS"), QStringLiteral("ITM"), Driver::DAT};
    KEY K1, K2;
    FileManager access;
    RelationManager relate;

    // The table in the file `fileName` (made when missing), reporting to `errors`.
    ItemTable(const QString& fileName, ErrorClass& errors) {
        file.addField(QStringLiteral("ID"), R.ID);
        file.addField(QStringLiteral("NAME"), R.NAME);
        file.addField(QStringLiteral("NOTE"), R.NOTE);
        K1 = file.addKey(QStringLiteral("ITM:K1"), QStringLiteral("by id"), {ref(R.ID)},
                         KeyFlag::Unique | KeyFlag::Primary);
        K2 = file.addKey(QStringLiteral("ITM:K2"), QStringLiteral("by name"), {ref(R.NAME)},
                         KeyFlag::Unique | KeyFlag::NoCase);
        file.setFileName(fileName);
        file.setCreate(true);
        access.FileNameValue = QStringLiteral("items");
        access.Init(file, errors);
        access.Create = 1;
        access.AddKey(K1, QStringLiteral("by id"), 1);
        relate.Init(access, 1);
    }
    ~ItemTable() {
        relate.Kill();
        access.Kill();
    }
    // Both with the table open, as a list has it open while its form runs.
    void add(LONG id, const char* name) {
        file.clearRecord();
        R.ID = id;
        R.NAME = name;
        access.Insert();
    }
    // Reads the item with `id` into the buffer; false when there is none.
    bool fetch(LONG id) {
        R.ID = id;
        return access.TryFetch(K1) == Level::Benign;
    }
};
