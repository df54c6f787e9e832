// Path rules between the host's mailbox texts and the move service's.
#include "mailstore/message_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/core/message_files.h"

namespace {

const char kMailbox[] = "C:\\M\\";

TEST(MessagePaths, EntriesAndPathsRoundTrip)
{
    char *path = MessagePathOfEntry(kMailbox, "acc1\\inbox\\0001");
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, "C:\\M\\acc1\\inbox\\0001.PWK");
    int length = MailboxPrefixLength(path, kMailbox);
    ASSERT_EQ(length, 5);
    char entry[64];
    EntryOfMessagePath(path, length, entry);
    EXPECT_STREQ(entry, "acc1\\inbox\\0001");
    free(path);
    // Four bytes or fewer after the mailbox stay whole.
    EntryOfMessagePath("C:\\M\\abcd", 5, entry);
    EXPECT_STREQ(entry, "abcd");
    EntryOfMessagePath("C:\\M\\abcde", 5, entry);
    EXPECT_STREQ(entry, "a");
}

struct PrefixRow {
    const char *path;
    const char *mailbox;
    int expected;
};

TEST(MailboxPrefixLength, FoldsOnlySingleByteLetters)
{
    const PrefixRow rows[] = {
        {"C:\\M\\acc1\\x.PWK", "C:\\M\\", 5},
        {"c:\\m\\acc1\\x.PWK", "C:\\M\\", 5},
        {"C:\\", "C:\\M\\", -1},
        {"D:\\other\\x.PWK", "C:\\M\\", -1},
        {"C:\\M", "C:\\M\\", -1},
        // ア (83 41) and ヂ (83 61) differ only in a second byte that
        // looks like a letter.
        {"C:\\\x83\x61\\x", "C:\\\x83\x41\\", -1},
        {"C:\\\x83\x41\\x", "C:\\\x83\x41\\", 6},
        {"C:\\\x95\x5c\\x", "C:\\\x95\x5c\\", 6},
    };
    for (const PrefixRow &row : rows)
        EXPECT_EQ(MailboxPrefixLength(row.path, row.mailbox), row.expected)
            << "path \"" << Printable(row.path) << "\" mailbox \"" << Printable(row.mailbox) << "\"";
}

struct AccountRow {
    const char *path;
    const char *expected;
};

// The account directory ends at the first backslash after the mailbox
// directory that is a character of its own.
TEST(AccountIniPathOf, CutsAtTheFirstRealBackslash)
{
    const AccountRow rows[] = {
        {"C:\\M\\acc1\\inbox\\0001.PWK", "C:\\M\\acc1\\account.ini"},
        {"C:\\M\\loose.PWK", "C:\\M\\loose.PWK\\account.ini"},
        {"C:\\M\\\x95\x5c\x8c\x76\x8e\x5a\\in\\1.PWK", "C:\\M\\\x95\x5c\x8c\x76\x8e\x5a\\account.ini"}, // 表計算
        {"C:\\M\\\x83\x5c\x83\x74\x83\x67\\1.PWK", "C:\\M\\\x83\x5c\x83\x74\x83\x67\\account.ini"}, // ソフト
        {"C:\\M\\", "C:\\M\\\\account.ini"},
    };
    for (const AccountRow &row : rows) {
        char *ini = AccountIniPathOf(row.path, 5);
        ASSERT_NE(ini, nullptr);
        EXPECT_EQ(Printable(ini), Printable(row.expected)) << "path \"" << Printable(row.path) << "\"";
        free(ini);
    }
}

struct TargetRow {
    const char *title;
    const char *folder;
    const char *destination;
};

TEST(BuildMoveTarget, DestinationThenEntryInOneBlock)
{
    const TargetRow rows[] = {
        {"Work", "spam", "Work\\spam"},
        {"", "spam", "\\spam"},
        {"\x8e\x64\x8e\x96\x97\x70", "\x82\xb2\x82\xdd\x94\xa0", "\x8e\x64\x8e\x96\x97\x70\\\x82\xb2\x82\xdd\x94\xa0"},
        {"T", "", "T\\"},
    };
    const char path[] = "C:\\M\\acc1\\inbox\\0001.PWK";
    for (const TargetRow &row : rows) {
        MoveTarget target;
        ASSERT_EQ(BuildMoveTarget(path, 5, row.title, row.folder, &target), 0);
        EXPECT_EQ(Printable(target.Destination), Printable(row.destination));
        EXPECT_EQ(target.Entry, target.Destination + strlen(target.Destination) + 1);
        EXPECT_STREQ(target.Entry, "acc1\\inbox\\0001");
        free(target.Destination);
    }
}

} // namespace
