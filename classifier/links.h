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

// Length of the base URL that `link` teaches: the text before its first
// "jump" (matched exactly), when that text begins with "http://" (exactly,
// as the setup dialog asks of a typed URL). 0 when there is nothing to
// learn, so that a forged link cannot point the plug-in's requests at
// another scheme.
size_t BaseUrlLengthOfLink(const char *link);
