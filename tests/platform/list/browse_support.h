#pragma once
// A window with a list over a table of items, run on a thread of its own, and
// the user's actions on a list (rows, header, thumb, typing) for the tests.

#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <functional>
#include <mutex>

#include "browse.h"
#include "controls/browsetest.h"
#include "core/errors.h"
#include "listdriver.h"
#include "listview.h"
#include "sortheader.h"
#include "thread_log.h"
#include "ui/window.h"
#include "uidriver.h"

namespace bt {

using namespace listtest;

constexpr int kItems = 500;
constexpr int kGroups = 6;  // the last group has no items

// The two tables of one thread: items in groups.
struct Tables {
    struct Item {
        LONG ID = 0;
        STRING<40> NAME;
        DATE DAY;
        LONG GRP = 0;
        STRING<20> NOTE;
    } ITM;
    struct Group {
        LONG ID = 0;
        STRING<30> NAME;
    } GRP;
    TableFile items{QStringLiteral("ITEMS"), QStringLiteral("ITM"), Driver::TPS};
    TableFile groups{QStringLiteral("GROUPS"), QStringLiteral("GRP"), Driver::DAT};
    KEY ITM_K1, ITM_K2, ITM_K3, GRP_K1;
    ErrorClass errors;
    FileManager itemsAccess, groupsAccess;

    struct ItemsRelation : RelationManager {
        Tables* t = nullptr;
        void DeferedAddRelations() override { AddRelation(t->groupsRel); }
    } itemsRel;
    struct GroupsRelation : RelationManager {
        Tables* t = nullptr;
        void DeferedAddRelations() override {
            AddRelation(t->itemsRel, RI::Cascade, RI::Restrict, t->ITM_K3);
            AddRelationLink(t->GRP.ID, t->ITM.GRP);
        }
    } groupsRel;

    Tables() {
        items.addField(QStringLiteral("ID"), ITM.ID);
        items.addField(QStringLiteral("NAME"), ITM.NAME);
        items.addField(QStringLiteral("DAY"), ITM.DAY);
        items.addField(QStringLiteral("GRP"), ITM.GRP);
        items.addField(QStringLiteral("NOTE"), ITM.NOTE);
        ITM_K1 = items.addKey(QStringLiteral("ITM:K1"), QStringLiteral("по коду"), {ref(ITM.ID)},
                              KeyFlag::Unique | KeyFlag::Primary);
        ITM_K2 = items.addKey(QStringLiteral("ITM:K2"), QStringLiteral("по имени"), {ref(ITM.NAME)},
                              KeyFlag::NoCase);
        ITM_K3 =
            items.addKey(QStringLiteral("ITM:K3"), QStringLiteral("по группе"), {ref(ITM.GRP)}, 0);
        items.setFileName(QStringLiteral("c:\\list\\ITEMS.TPS"));
        items.setCreate(true);
        groups.addField(QStringLiteral("ID"), GRP.ID);
        groups.addField(QStringLiteral("NAME"), GRP.NAME);
        GRP_K1 = groups.addKey(QStringLiteral("GRP:K1"), QStringLiteral("по коду"), {ref(GRP.ID)},
                               KeyFlag::Unique | KeyFlag::Primary);
        groups.setFileName(QStringLiteral("c:\\list\\groups.dat"));
        groups.setCreate(true);
        itemsAccess.Init(items, errors);
        itemsAccess.AddKey(ITM_K1, QStringLiteral("по коду"), 1);
        groupsAccess.Init(groups, errors);
        itemsRel.t = this;
        groupsRel.t = this;
        itemsRel.Init(itemsAccess, 0);
        groupsRel.Init(groupsAccess, 0);
        itemsAccess.Open();
        groupsAccess.Open();
    }
    ~Tables() {
        items.release();
        groups.release();
    }
};

// Drive C in a temporary folder and the tables filled once for the whole run.
void buildData();
QString itemName(int id);
LONG itemDay(int id);

// A row of the item list's queue.
struct ItemRow {
    LONG ID;
    STRING<40> NAME;
    LONG NAME_ICON;
    LONG NAME_STYLE;
    DATE DAY;
    LONG DAY_FG, DAY_BG, DAY_SFG, DAY_SBG;
    BYTE MARK;
    STRING<1024> VIEWPOSITION;
};
struct ItemQueue : lst::QUEUE<ItemRow> {
    ItemQueue()
        : QUEUE<ItemRow>([](ItemRow& r, lst::QueueFields& f) {
              f("ITM:ID", r.ID)("ITM:NAME", r.NAME)("ITM:NAME_ICON", r.NAME_ICON)(
                  "ITM:NAME_STYLE", r.NAME_STYLE)("ITM:DAY", r.DAY)("ITM:DAY_FG", r.DAY_FG)(
                  "ITM:DAY_BG", r.DAY_BG)("ITM:DAY_SFG", r.DAY_SFG)("ITM:DAY_SBG", r.DAY_SBG)(
                  "MARK", r.MARK)("VIEWPOSITION", r.VIEWPOSITION);
          }) {}
};

// The controls of the window BROWSE: its list is BROWSE, its buttons brw::.
namespace brw = browsetest::BROWSE;
using brw::BROWSE;

// What the window's thread saw, for the test thread.
struct Log : Guarded<Log> {
    // ITM:ID in the record buffer when the program got each event of the list
    // (as a window's field-event handler would).
    std::vector<LONG> arrived;
    std::vector<int> arrivedEvents;
    std::vector<std::pair<int, int>> runs;  // form number, request
    std::vector<QString> resorted;          // what the sort header told
    LONG id = 0;                            // ITM:ID after each event
    QString note;                           // ITM:NOTE likewise
    int newSelections = 0;

    void clear() {
        std::lock_guard<std::mutex> l(m);
        arrived.clear();
        arrivedEvents.clear();
        runs.clear();
        resorted.clear();
        newSelections = 0;
    }
};

class TestBrowse;

// What a test may do on the window's thread.
struct Ctx {
    Tables& t;
    TestBrowse& brw;
    Window& w;
    ItemQueue& q;
};

struct Options {
    int request = 0;           // the window's own request
    bool editViaPopup = true;  // keys and popup edit rows
    // The form: runs on the window's thread with the record in the buffer.
    std::function<int(Ctx&, int number, int request)> form;
    // User events (EVENT::User + n) posted by the test.
    std::function<void(Ctx&, int event)> user;
};

class TestBrowse : public lst::BrowseClass {
  public:
    explicit TestBrowse(Tables& t, ItemQueue& q) : t_(t), q_(q) {}
    void SetQueueRecord() override {
        BrowseClass::SetQueueRecord();
        q_.NAME_ICON = 1;
        q_.NAME_STYLE = t_.ITM.GRP == 1 ? 1 : 0;
        const LONG fg = t_.ITM.DAY == 0 ? 0x0000FF : -1;
        q_.DAY_FG = fg;
        q_.DAY_BG = -1;
        q_.DAY_SFG = fg;
        q_.DAY_SBG = -1;
    }

  private:
    Tables& t_;
    ItemQueue& q_;
};

// The window of groups and the items of the group chosen (RANGE): its lists
// are GROUPS and ITEMS, its buttons rng::.
namespace rng = browsetest::RANGE;
using rng::GROUPS;
using rng::ITEMS;
struct RangeLog : Guarded<RangeLog> {
    LONG group = 0;  // GRP:ID and ITM:ID after each event
    LONG item = 0;
    LONG primedGroup = -1;  // ITM:GRP when the form was called for an insert
    QString chosen;         // ITM:NAME when the combo's choice reached the window
};
LONG openRange(RangeLog& log);

// Opens the item list on a new thread; its number.
LONG openBrowse(Log& log, Options options = {});
void closeWindow(LONG thread);

}  // namespace bt
