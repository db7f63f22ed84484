// A list over a table driven as a user drives it: pages, scrolling, the thumb,
// locators, header sorts, column sizes, updates through a form, ranges by
// relation, and what the screen shows (pictures, icons, styles, colours).

#include <gtest/gtest.h>

#include <QHeaderView>

#include "browse_support.h"
#include "table_support.h"

using namespace bt;
using namespace uitest;

namespace {

// The rows a page shows, as their codes.
QStringList ids(LONG thread) {
    return column(thread, BROWSE, 1);
}

QString id(int n) {
    return QString::number(n);
}

LONG lastId(Log& log) {
    return log.get(&Log::id);
}

}  // namespace

TEST(Browse, OpensOnTheFirstPageInKeyOrderWithTheFirstRowCurrent) {
    Log log;
    const LONG th = openBrowse(log);
    ASSERT_TRUE(waitWindow(th));
    const QStringList shown = ids(th);
    ASSERT_GE(shown.size(), 5);
    EXPECT_LT(shown.size(), 40);  // a page, never the whole table
    for (int i = 0; i < shown.size(); ++i)
        EXPECT_EQ(shown[i], id(i + 1));
    EXPECT_EQ(currentRow(th, BROWSE), 1);
    EXPECT_EQ(lastId(log), 1);
    EXPECT_EQ(log.get(&Log::note), QStringLiteral("примечание 1"));  // the whole record
    EXPECT_TRUE(thumbEnabled(th, BROWSE));
    EXPECT_EQ(thumb(th, BROWSE), 0);
    closeWindow(th);
}

int main(int argc, char** argv) {
    return uitest::main(argc, argv, {QStringLiteral(KALDOR_LIST_TEST_RESOURCES)});
}
