// Every call that the host makes into the plug-in runs inside a guard: no
// C++ exception (a failed allocation of a string, say) ever unwinds into
// the host, which knows nothing of them.
#pragma once

// Runs `body` and returns its result; if it throws, returns `failure`
// instead.
template <typename Result, typename Body>
Result GuardHostCall(Result failure, Body body) noexcept
{
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

template <typename Body>
void GuardHostCall(Body body) noexcept
{
    try {
        body();
    } catch (...) {
    }
}
