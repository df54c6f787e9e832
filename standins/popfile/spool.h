// The spool directory: one RFC 822 message per regular file, served in
// byte order of the file names. Names starting with '.' and names ending in
// '~' or ".tmp" are left out (editor and temporary files).
#pragma once

#include <string>
#include <vector>

// The message file names of `dir`, sorted. An empty or unreadable directory
// gives none.
std::vector<std::string> ListSpoolFiles(const std::string& dir);

// Reads one message file whole into `text`. Returns 0 or -1.
int ReadSpoolFile(const std::string& dir, const std::string& name, std::string* text);

// A POP3 unique id for a spool file: its name when that is 1 to 70 bytes
// of 0x21..0x7E, otherwise "h" and 16 hex digits of a hash of the name.
std::string UniqueIdOf(const std::string& name);
