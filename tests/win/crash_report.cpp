// A fault in the Windows test program names where it happened: a
// vectored handler prints the exception, the faulting thread and the chain
// of return addresses (frame pointers), before Wine's own handling ends
// the program. Map the addresses with the program's symbols
// (i686-w64-mingw32-nm -C windows_tests.exe | sort).
#include <windows.h>

#include <cstdio>

namespace {

const DWORD mainThread = GetCurrentThreadId();
volatile LONG faultCount = 0;

LONG CALLBACK ReportFault(EXCEPTION_POINTERS *pointers)
{
    DWORD code = pointers->ExceptionRecord->ExceptionCode;
    if (code != EXCEPTION_ACCESS_VIOLATION && code != EXCEPTION_ILLEGAL_INSTRUCTION &&
        code != EXCEPTION_PRIV_INSTRUCTION && code != EXCEPTION_STACK_OVERFLOW)
        return EXCEPTION_CONTINUE_SEARCH;
    InterlockedIncrement(&faultCount);
    const CONTEXT *context = pointers->ContextRecord;
    fprintf(stderr, "fault %08lx at %08lx in thread %04lx (main thread %04lx); eax %08lx ecx %08lx esp %08lx\n",
            code, context->Eip, GetCurrentThreadId(), mainThread, context->Eax,
            context->Ecx, context->Esp);
    const DWORD *frame = reinterpret_cast<const DWORD *>(context->Ebp);
    for (int depth = 0; depth < 24 && frame && !IsBadReadPtr(frame, 8); ++depth) {
        fprintf(stderr, "  called from %08lx\n", frame[1]);
        frame = reinterpret_cast<const DWORD *>(frame[0]);
    }
    fflush(stderr);
    return EXCEPTION_CONTINUE_SEARCH;
}

const PVOID handler = AddVectoredExceptionHandler(1, ReportFault);

} // namespace

long FaultsReported()
{
    return faultCount;
}
