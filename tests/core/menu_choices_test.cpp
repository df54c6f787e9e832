// The tables behind the correction menus: a bucket item's value names the
// bucket it showed, and a window's menu says which kind of window it was.
#include "classifier/menu_choices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class MenuChoicesTest : public ::testing::Test {
protected:
    void SetUp() override { ForgetMenuChoices(); }
    void TearDown() override { ForgetMenuChoices(); }
};

TEST_F(MenuChoicesTest, AValueNamesItsBucketWhateverIsEnrolledLater)
{
    uint32_t spam = ShownBucketValue("spam");
    uint32_t work = ShownBucketValue("work");
    EXPECT_NE(spam, work);
    // A menu set up again (the list reordered, or the same) reuses values.
    EXPECT_EQ(ShownBucketValue("work"), work);
    EXPECT_EQ(ShownBucketValue("spam"), spam);
    EXPECT_STREQ(ShownBucketName(spam), "spam");
    EXPECT_STREQ(ShownBucketName(work), "work");
    EXPECT_EQ(ShownBucketName(NoShownBucket), nullptr);
    EXPECT_EQ(ShownBucketName(spam + 1000), nullptr);
    EXPECT_EQ(ShownBucketName(0x7F), nullptr); // a slot never used
}

// A thousand distinct names (renamed buckets over a long run) keep the
// table bounded: the oldest give way, and their values then name nothing
// rather than a newer name in the same slot.
TEST_F(MenuChoicesTest, OldNamesGiveWayAndTheirValuesNameNothing)
{
    std::vector<uint32_t> values;
    for (int i = 0; i < 1000; ++i)
        values.push_back(ShownBucketValue(("bucket" + std::to_string(i)).c_str()));
    EXPECT_EQ(ShownBucketName(values[0]), nullptr);
    EXPECT_EQ(ShownBucketName(values[1000 - 257]), nullptr);
    for (int i = 1000 - 256; i < 1000; ++i)
        EXPECT_EQ(ShownBucketName(values[i]), "bucket" + std::to_string(i)) << i;
    // A name that gave way gets a new value.
    uint32_t again = ShownBucketValue("bucket0");
    EXPECT_NE(again, values[0]);
    EXPECT_STREQ(ShownBucketName(again), "bucket0");
}

// Which of the 100 windows below still exist.
bool Alive[100];
bool IsAlive(const void *window)
{
    return Alive[*static_cast<const int *>(window)];
}

TEST_F(MenuChoicesTest, WindowKindsFollowTheLastMenuAndStayBounded)
{
    int windows[100];
    for (int i = 0; i < 100; ++i) {
        windows[i] = i;
        Alive[i] = true;
    }
    EXPECT_EQ(MenuWindowKind(&windows[0]), -1);
    EXPECT_EQ(MenuWindowKind(nullptr), -1);
    NoteMenuWindow(&windows[0], 1, IsAlive);
    NoteMenuWindow(&windows[1], 0, IsAlive);
    EXPECT_EQ(MenuWindowKind(&windows[0]), 1);
    EXPECT_EQ(MenuWindowKind(&windows[1]), 0);
    NoteMenuWindow(&windows[0], 0, IsAlive); // a handle reused by a folder window
    EXPECT_EQ(MenuWindowKind(&windows[0]), 0);
    for (int i = 2; i < 100; ++i)
        NoteMenuWindow(&windows[i], i % 2, IsAlive);
    EXPECT_EQ(MenuWindowKind(&windows[0]), -1);
    EXPECT_EQ(MenuWindowKind(&windows[99]), 1);
    EXPECT_EQ(MenuWindowKind(&windows[36]), 0);
}

// A view whose menu bar was set up when it opened keeps its place while
// the folder window's menus come and go: closed windows give way first,
// then the one used least recently.
TEST_F(MenuChoicesTest, ClosedWindowsGiveWayBeforeALongOpenView)
{
    int windows[100];
    for (int i = 0; i < 100; ++i) {
        windows[i] = i;
        Alive[i] = true;
    }
    NoteMenuWindow(&windows[0], 1, IsAlive); // the view, opened first
    for (int i = 1; i < 64; ++i)
        NoteMenuWindow(&windows[i], 0, IsAlive); // the table is full now
    Alive[10] = false;
    Alive[20] = false;
    NoteMenuWindow(&windows[64], 0, IsAlive);
    NoteMenuWindow(&windows[65], 1, IsAlive);
    EXPECT_EQ(MenuWindowKind(&windows[0]), 1) << "the long open view stays";
    EXPECT_EQ(MenuWindowKind(&windows[10]), -1);
    EXPECT_EQ(MenuWindowKind(&windows[20]), -1);
    EXPECT_EQ(MenuWindowKind(&windows[1]), 0);
    // With none closed, the least recently used gives way: the view was
    // just asked for, window 2 was noted longest ago.
    NoteMenuWindow(&windows[66], 0, IsAlive);
    EXPECT_EQ(MenuWindowKind(&windows[2]), -1);
    EXPECT_EQ(MenuWindowKind(&windows[0]), 1);
    EXPECT_EQ(MenuWindowKind(&windows[66]), 0);
}

} // namespace
