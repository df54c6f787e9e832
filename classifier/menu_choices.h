// What the correction menus showed, so that a command acts on what the user
// saw when it was chosen: the bucket names the menus showed, each under a
// 32-bit value that the menu's command is enrolled with, and the kind of
// each window a classifier menu was set up for. Both tables are bounded;
// menu set-ups repeat for as long as the host runs. Includes no Windows
// header: a window is an opaque handle here.
#pragma once
#include <cstdint>

// The value to enrol a bucket item's command with, naming a copy of `name`
// (Shift_JIS, NUL-terminated) kept here. An identical name enrolled before
// gets its earlier value. When the table is full the oldest name gives way
// and its value names nothing any more. Returns NoShownBucket when no copy
// can be made.
uint32_t ShownBucketValue(const char *name);

// The name a value of ShownBucketValue stands for, or nullptr when the
// value names nothing (never enrolled, or its name gave way). Points into
// the table: valid until the next ShownBucketValue; copy it before anything
// that may set up a menu.
const char *ShownBucketName(uint32_t value);

const uint32_t NoShownBucket = 0xFFFFFFFFu;

// Notes that `window` got a classifier menu as a view window (isView 1) or
// a folder window (0). A window noted before is updated; when the table is
// full the window noted longest ago gives way.
void NoteMenuWindow(const void *window, int isView);

// 1 for a view window, 0 for a folder window, -1 for a window not noted
// (or given way).
int MenuWindowKind(const void *window);

// Forgets every name and window (start-up, and tests).
void ForgetMenuChoices(void);
