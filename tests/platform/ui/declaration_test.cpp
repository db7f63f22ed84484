// Window declarations: numbering of controls and menu items, and their attributes.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QRegularExpression>
#include <map>
#include <thread>

#include "core/resources.h"
#include "equates.h"
#include "ui/declaration.h"

namespace {

std::shared_ptr<const rt::WindowDecl> load(const char* label) {
    rt::addResourceFolder(QStringLiteral(KALDOR_UI_TEST_RESOURCES));
    QString error;
    auto w = rt::loadWindow(u"kaldor$uitest", QString::fromLatin1(label), &error);
    EXPECT_TRUE(w) << error.toStdString();
    return w;
}

// The numbers of a generated control header ("    KAL_NAME = 3,  // ?KAL:NAME")
// by name; empty when the declaration was refused.
std::map<QString, int> generated(const QString& declaration, QString* header = nullptr) {
    QString text, error;
    if (!equates::controlHeader(u"demo", declaration.toUtf8(), &text, &error)) {
        ADD_FAILURE() << error.toStdString();
        return {};
    }
    if (header)
        *header = text;
    std::map<QString, int> out;
    static const QRegularExpression line(QStringLiteral(R"(^    (\w+) = (-?\d+),)"),
                                         QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out[m.captured(1)] = m.captured(2).toInt();
    }
    return out;
}

}  // namespace

TEST(Declaration, ControlsAreNumberedInDeclarationOrderChildrenIncluded) {
    auto w = load("FORM");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->number(u"?SHEET"), 1);
    EXPECT_EQ(w->number(u"?TAB1"), 2);
    EXPECT_EQ(w->number(u"?num"), 4) << "equates match whatever their case";
    EXPECT_EQ(w->number(u"?KIND:RADIO3"), 12);
    EXPECT_EQ(w->number(u"?TAB2"), 15);
    EXPECT_EQ(w->number(u"?BUTTON"), 22);
    EXPECT_EQ(w->controls.size(), 22u);
    EXPECT_EQ(w->control(4)->parent, 2);
    EXPECT_EQ(w->control(10)->parent, 9);
    EXPECT_EQ(w->position(12), 3);
    EXPECT_EQ(w->position(15), 2);
    EXPECT_EQ(w->children(1, rt::ControlType::Tab), (std::vector<int>{2, 15}));
    EXPECT_EQ(w->control(17)->isDefault, true);
    EXPECT_EQ(w->control(18)->std, 15);
    EXPECT_EQ(w->control(13)->rangeLow, 6);
    EXPECT_EQ(w->control(13)->rangeHigh, 14);
    EXPECT_EQ(w->control(14)->from, (QStringList{u"Один"_qs, u"Два"_qs, u"Три"_qs}));
    EXPECT_EQ(w->control(3)->width, rt::kDefault) << "a position without a size takes the default";
    EXPECT_EQ(w->statusZones, (std::vector<int>{-1, 80}));
}

TEST(Declaration, MenuItemsTakeNegativeNumbersDepthFirst) {
    auto w = load("FRAME");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->number(u"?MENUBAR"), -1);
    EXPECT_EQ(w->number(u"?FILEMENU"), -2);
    EXPECT_EQ(w->number(u"?PRINTSETUP"), -3);
    EXPECT_EQ(w->number(u"?EXIT"), -4);
    EXPECT_EQ(w->number(u"?EDITMENU"), -5);
    EXPECT_EQ(w->number(u"?BROWSEITEM"), -10);
    EXPECT_EQ(w->number(u"?HELPONHELP"), -18);
    EXPECT_TRUE(w->menu(-11)->isMenu);
    EXPECT_EQ(w->menu(-11)->std, 1);
    EXPECT_EQ(w->menu(-3)->msg, QStringLiteral("Setup printer"));
    EXPECT_TRUE(w->frame);
}

TEST(Declaration, ValuesColoursAndFaults) {
    const auto parse = [](const char* json, QString* error = nullptr) {
        return rt::parseWindow(QJsonDocument::fromJson(json).object(), error);
    };
    auto w = parse(R"({"controls":[
        {"type":"entry","color":"0xC08000","font":{"name":"Arial CYR","size":9,"bold":true}},
        {"type":"droplist","from":"Black|#1|Maroon|#2"},
        {"type":"check","values":["Y","N"]},
        {"type":"radio","value":7},
        {"type":"preview","at":[1,2,3,4]}]})");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->control(1)->color, 0xC08000);
    EXPECT_EQ(w->control(1)->font.style, 700);
    EXPECT_EQ(w->control(2)->from, (QStringList{u"Black"_qs, u"Maroon"_qs}));
    EXPECT_EQ(w->control(2)->fromValues, (QStringList{u"1"_qs, u"2"_qs}));
    EXPECT_EQ(w->control(3)->trueValue, Value(u"Y"));
    EXPECT_EQ(w->control(4)->value, Value(7));
    EXPECT_EQ(w->control(5)->type, rt::ControlType::Custom) << "kinds of other layers pass";
    EXPECT_EQ(w->control(5)->raw.value(QLatin1String("type")).toString(),
              QStringLiteral("preview"));
    QString error;
    rt::addResourceFolder(QStringLiteral(KALDOR_UI_TEST_RESOURCES));
    EXPECT_FALSE(parse(R"({"controls":[{"text":"no type"}]})", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(rt::loadWindow(u"uitest", u"NOSUCH", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("NOSUCH")));
}

TEST(Declaration, ModulesLoadWhileAnotherThreadAddsFoldersAndLooksUpIcons) {
    // A procedure thread opening windows and the GUI thread showing icons use
    // the folder list at once; neither may see it half changed.
    const QString folder = QStringLiteral(KALDOR_UI_TEST_RESOURCES);
    rt::addResourceFolder(folder);
    std::thread icons([&] {
        for (int i = 0; i < 300; ++i) {
            rt::addResourceFolder(folder);  // the module cache and the icon index start again
            rt::iconPath(u"nosuch.ico");
        }
    });
    int loaded = 0;
    for (int i = 0; i < 300; ++i)
        loaded += !rt::declaration(u"kaldor$uitest", u"windows", u"FORM").isEmpty();
    icons.join();
    EXPECT_EQ(loaded, 300);
}

TEST(Declaration, TheGeneratedNumbersMoveWithTheDeclaration) {
    // What the procedures and their tests compile against: the window's own
    // numbering, controls without an equate and separators counted unnamed.
    const QString before = QStringLiteral(R"({"windows": {"P1$QUICKWINDOW": {
        "controls": [
            {"type": "sheet", "equate": "?CURRENTTAB", "tabs": [
                {"type": "tab", "equate": "?TAB:1", "controls": [
                    {"type": "entry", "equate": "?KAL:NAME"}]}]},
            {"type": "button", "equate": "?OK"},
            {"type": "prompt"},
            {"type": "button", "equate": "?CANCEL"}],
        "menubar": [{"equate": "?FILEMENU", "items": [{"separator": true}, {"equate": "?EXIT"}]}]
        }}})");
    QString header;
    using Numbers = std::map<QString, int>;
    EXPECT_EQ(generated(before, &header), (Numbers{{u"CURRENTTAB"_qs, 1},
                                                   {u"TAB_1"_qs, 2},
                                                   {u"KAL_NAME"_qs, 3},
                                                   {u"OK"_qs, 4},
                                                   {u"CANCEL"_qs, 6},
                                                   {u"MENUBAR"_qs, -1},
                                                   {u"FILEMENU"_qs, -2},
                                                   {u"EXIT"_qs, -4}}));
    EXPECT_TRUE(header.contains(u"namespace demo {\n"_qs)) << header.toStdString();
    EXPECT_FALSE(header.contains(u"namespace P1_QUICKWINDOW"_qs)) << "one window: no namespace";

    // A control inserted into the tab: every later number moves, earlier ones
    // and the menus stay.
    QString inserted = before;
    inserted.replace(u"{\"type\": \"entry\", \"equate\": \"?KAL:NAME\"}"_qs,
                     u"{\"type\": \"entry\", \"equate\": \"?KAL:ID\"}, "
                     "{\"type\": \"entry\", \"equate\": \"?KAL:NAME\"}"_qs);
    EXPECT_EQ(generated(inserted), (Numbers{{u"CURRENTTAB"_qs, 1},
                                            {u"TAB_1"_qs, 2},
                                            {u"KAL_ID"_qs, 3},
                                            {u"KAL_NAME"_qs, 4},
                                            {u"OK"_qs, 5},
                                            {u"CANCEL"_qs, 7},
                                            {u"MENUBAR"_qs, -1},
                                            {u"FILEMENU"_qs, -2},
                                            {u"EXIT"_qs, -4}}));
    // A control removed: code that names it no longer compiles.
    QString removed = before;
    removed.replace(u"{\"type\": \"button\", \"equate\": \"?OK\"},"_qs, QString());
    EXPECT_EQ(generated(removed).count(u"OK"_qs), 0u);
    EXPECT_EQ(generated(removed)[u"CANCEL"_qs], 5);

    // Several windows may each have an ?OK: one namespace per window.
    generated(QStringLiteral(R"({"windows": {
        "P1$FORM": {"controls": [{"type": "button", "equate": "?OK"}]},
        "LIST": {"controls": [{"type": "list", "equate": "?BROWSE:1"},
                              {"type": "button", "equate": "?OK"}]}}})"),
              &header);
    EXPECT_TRUE(header.contains(u"namespace P1_FORM {\nenum : int {\n    OK = 1,"_qs))
        << header.toStdString();
    EXPECT_TRUE(header.contains(u"namespace LIST {\nenum : int {\n    BROWSE_1 = 1,"_qs));
    EXPECT_TRUE(header.contains(u"    OK = 2,"_qs));
}

TEST(Declaration, DeclarationsThatMakeNoNamesStopTheBuild) {
    struct Case {
        const char* module;
        const char* json;
        const char* says;
    };
    const Case cases[] = {
        {"demo", R"({"windows": {"W": {"controls": [{"type": "button", "equate": "?OK"},
                    {"type": "button", "equate": "?ok"}]}}})",
         "\"?OK\" and \"?ok\""},
        {"demo", R"({"windows": {"W": {"controls": [{"type": "entry", "equate": "?KAL:ID"},
                    {"type": "entry", "equate": "?KAL_ID"}]}}})",
         "same name KAL_ID"},
        {"demo", R"({"windows": {"W": {"controls": [{"type": "button", "equate": "?EXIT"}],
                    "menubar": [{"equate": "?EXIT"}]}}})",
         "\"?EXIT\" and \"?EXIT\""},
        {"demo", R"({"windows": {"W": {"controls": [{"type": "entry", "equate": "?1ST"}]}}})",
         "\"?1ST\" of 1 makes no C++ name"},
        {"demo", R"({"windows": {"W": {"controls": [{"type": "entry", "equate": "?DOC NAME"}]}}})",
         "\"?DOC NAME\""},
        {"demo", R"({"windows": {"W": {"controls": [{"equate": "?OK"}]}}})", "without \"type\""},
        {"demo", R"({"windows": {"W": {"controls": [)", "at offset"},
        {"ui-demo", R"({"windows": {}})", "no C++ namespace"},
    };
    for (const Case& c : cases) {
        QString header, error;
        EXPECT_FALSE(equates::controlHeader(QString::fromLatin1(c.module), c.json, &header, &error))
            << c.json;
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.says))) << error.toStdString();
    }
}
