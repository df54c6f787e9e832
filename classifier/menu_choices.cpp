// Two small tables, reused when full. A value names a slot and
// the count of names enrolled before it, so that a menu left open while its
// name's slot was taken over does not act on the newer name.
#include "classifier/menu_choices.h"

#include <cstdlib>
#include <cstring>

namespace {

// Distinct names kept: a few pages of buckets. Slot numbers fit in the low
// 8 bits of a value.
const uint32_t kNameSlots = 256;
const uint32_t kSlotBits = 8;
// Windows with a classifier menu kept at once.
const int kWindowSlots = 64;

struct ShownName {
    char *name; // owned heap copy; nullptr: free slot
    uint32_t value;
};

struct MenuWindow {
    const void *window; // nullptr: free slot
    int isView;
    uint32_t lastUse;   // serial of its last use; larger is more recent
};

ShownName shownNames[kNameSlots];
uint32_t namesEnrolled; // serial of the next new name
uint32_t nextNameSlot;  // the slot to reuse when the table is full

MenuWindow menuWindows[kWindowSlots];
uint32_t windowUses; // serial of the last use of any window

ShownName *FindShownName(const char *name)
{
    for (ShownName &shown : shownNames) {
        if (shown.name && strcmp(shown.name, name) == 0)
            return &shown;
    }
    return nullptr;
}

// The slot for a window not in the table: a free one, else that of a
// window that is gone, else that of the one used least recently.
MenuWindow *SlotForNewWindow(WindowExists exists)
{
    MenuWindow *leastRecent = &menuWindows[0];
    for (MenuWindow &noted : menuWindows) {
        if (!noted.window)
            return &noted;
        if (noted.lastUse < leastRecent->lastUse)
            leastRecent = &noted;
    }
    for (MenuWindow &noted : menuWindows) {
        if (exists && !exists(noted.window))
            return &noted;
    }
    return leastRecent;
}

} // namespace

uint32_t ShownBucketValue(const char *name)
{
    if (ShownName *known = FindShownName(name))
        return known->value;
    char *copy = strdup(name);
    if (!copy)
        return NoShownBucket;
    uint32_t slot = nextNameSlot;
    nextNameSlot = (nextNameSlot + 1) % kNameSlots;
    // Serials wrap after 2^24 new names; by then no menu of the first ones
    // is on screen.
    uint32_t value = ((namesEnrolled++ << kSlotBits) | slot) & 0x7FFFFFFFu;
    free(shownNames[slot].name);
    shownNames[slot] = ShownName{copy, value};
    return value;
}

const char *ShownBucketName(uint32_t value)
{
    uint32_t slot = value & ((1u << kSlotBits) - 1);
    const ShownName &shown = shownNames[slot];
    if (!shown.name || shown.value != value)
        return nullptr;
    return shown.name;
}

void NoteMenuWindow(const void *window, int isView, WindowExists exists)
{
    if (!window)
        return;
    for (MenuWindow &noted : menuWindows) {
        if (noted.window == window) {
            noted.isView = isView;
            noted.lastUse = ++windowUses;
            return;
        }
    }
    *SlotForNewWindow(exists) = MenuWindow{window, isView, ++windowUses};
}

int MenuWindowKind(const void *window)
{
    if (!window)
        return -1;
    for (MenuWindow &noted : menuWindows) {
        if (noted.window == window) {
            noted.lastUse = ++windowUses;
            return noted.isView;
        }
    }
    return -1;
}

void ForgetMenuChoices(void)
{
    for (ShownName &shown : shownNames) {
        free(shown.name);
        shown = ShownName{nullptr, 0};
    }
    nextNameSlot = 0;
    for (MenuWindow &noted : menuWindows)
        noted = MenuWindow{nullptr, 0, 0};
    windowUses = 0;
}
