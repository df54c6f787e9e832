// Receive filter: queues each received message whose POPFile bucket has a
// filing rule, for the filing command to move after the retrieval.
#pragma once

// The texts are read when the summary lists them or the filing log is on;
// the summary uses them only as the List flags say.
struct PendingMove {
    char *Entry;       // inside Destination's block, right after its NUL
    char *Destination; // owns the heap block: "title\folder", then Entry
    char *From;        // owned heap string or nullptr: unfolded "From:" value
    char *Subject;     // owned heap string or nullptr: unfolded "Subject:"
    char *Bucket;      // owned heap string: the verdict when queued (nullptr: no memory)
    int TitleLength;   // bytes of the account title that begins Destination
    int RuleIndex;     // Index of the matching rule when queued
    bool ListFrom;     // the summary lists the sender (as set when queued)
    bool ListSubject;  // the summary lists the subject (as set when queued)
    PendingMove *Next;
};

// True while at least one message is queued. The filing command takes the
// whole queue over with DetachPendingList.
bool HasPendingMoves(void);

// Appends a copy of `fields` (its Next is not used) at the tail in
// constant time. Takes ownership of the Destination block and of From,
// Subject and Bucket; when no record can be taken, nothing is queued and
// they are released.
void QueuePendingMove(const PendingMove &fields);

// Returns the whole queue and leaves it empty; the caller releases each
// record with ReleasePendingMove.
PendingMove *DetachPendingList(void);

// Frees a record and everything it owns.
void ReleasePendingMove(PendingMove *move);

// Reads the verdict of the message file at `path` (full path below the
// mailbox directory) and queues it when a rule names a folder for it.
void FilterReceivedMessage(const char *path);
