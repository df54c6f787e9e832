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

// Tells whether a window noted in the table still exists.
typedef bool (*WindowExists)(const void *window);

// Notes that `window` got a classifier menu as a view window (isView 1) or
// a folder window (0). A window noted before is updated; when the table is
// full, a window that `exists` says is gone gives way first, else the one
// used least recently (noted or asked for by MenuWindowKind), so that a
// view open for long keeps its place while menus come and go.
void NoteMenuWindow(const void *window, int isView, WindowExists exists);

// 1 for a view window, 0 for a folder window, -1 for a window not noted
// (or given way). Counts as a use of the window.
int MenuWindowKind(const void *window);

// Forgets every name and window (start-up, and tests).
void ForgetMenuChoices(void);
