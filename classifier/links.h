// What the plug-in takes from a message's "X-POPFile-Link:" value. POPFile
// writes the link, but any sender can write such a header into a message,
// so these rules decide what a link may open and teach. Texts are bytes;
// case folding touches only ASCII letters. Includes no Windows header.
#pragma once
#include <cstddef>

// POPFile's number of a message from its link text: the decimal number
// after the first "view=" (ASCII case ignored), read by the atoi rule
// (leading white space and a sign allowed, no digits give 0). Returns -1
// when "view=" is missing or ends the text, and when the number does not
// fit in 32 signed bits.
int ViewIdOfLink(const char *link);

// True when the shell may open `link`: it begins with "http://" or
// "https://" (ASCII letters in any case) and holds no double quote and no
// byte below 0x20, either of which could break out of the quoting of the
// browser's command line. Anything else (a file, a share, a program, a
// script) is not opened.
bool IsWebLink(const char *link);

// True when `url` may serve as POPFile's base URL: a web link (IsWebLink)
// that begins with "http://" (ASCII letters in any case), holds no blank,
// no DEL byte, no "?" and no "#", and ends in "/", so that the page names
// appended to it stay in its path, and nothing in it can break out of the
// browser's command line or make a second line of the settings file.
bool IsCleanBaseUrl(const char *url);

// Length of the base URL that `link` teaches: the text before its first
// "jump" (matched exactly), when that text begins with "http://" (exactly,
// as the setup dialog asks of a typed URL), is a clean base URL
// (IsCleanBaseUrl) and names a host that POPFile's own links name: a
// loopback address (127.0.0.0/8, or "localhost" in any letter case) or
// `accountServer`, the POP3 server of the message's account (the host the
// mail came through; compared as text, ASCII letters in any case, nothing
// looked up; empty or null matches nothing). 0 when there is nothing to
// learn, so that a forged link cannot point the plug-in's requests at
// another scheme or another machine, nor write a quote or a line break
// into the settings.
size_t BaseUrlLengthOfLink(const char *link, const char *accountServer);

// What POPFile's answer to a message's jump link says, from its HTTP
// `status` and the Location header's value `location`: a redirect (3xx)
// whose target's path (after any scheme and host, before any query) ends
// in "/view" (the message's page: it is in the history) or in "/history"
// (the history page: it is gone), or anything else, which is not POPFile's
// answer.
enum JumpAnswer { JumpInHistory, JumpGone, JumpNotPopfile };
JumpAnswer ReadJumpAnswer(int status, const char *location);
