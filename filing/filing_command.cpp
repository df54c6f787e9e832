// Placeholder until the filing summary is built: releases the queue.
#include "filing/filing_command.h"
#include "filing/receive_filter.h"

void WINAPI FilingCommand(HWND, DWORD)
{
    PendingMove *move = DetachPendingList();
    while (move) {
        PendingMove *next = move->Next;
        ReleasePendingMove(move);
        move = next;
    }
}
