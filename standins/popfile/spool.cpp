#include "spool.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

bool EndsWith(const std::string& text, const char* tail)
{
    std::string t(tail);
    return text.size() >= t.size() && text.compare(text.size() - t.size(), t.size(), t) == 0;
}

bool IsMessageFile(const std::string& dir, const std::string& name)
{
    if (name.empty() || name[0] == '.' || EndsWith(name, "~") || EndsWith(name, ".tmp"))
        return false;
    struct stat info;
    return stat((dir + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::vector<std::string> ListSpoolFiles(const std::string& dir)
{
    std::vector<std::string> names;
    if (dir.empty())
        return names;
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr)
        return names;
    while (dirent* item = readdir(handle)) {
        std::string name = item->d_name;
        if (IsMessageFile(dir, name))
            names.push_back(name);
    }
    closedir(handle);
    std::sort(names.begin(), names.end());
    return names;
}

int ReadSpoolFile(const std::string& dir, const std::string& name, std::string* text)
{
    std::ifstream in(dir + "/" + name, std::ios::binary);
    if (!in)
        return -1;
    std::ostringstream out;
    out << in.rdbuf();
    *text = out.str();
    return 0;
}

std::string UniqueIdOf(const std::string& name)
{
    bool plain = !name.empty() && name.size() <= 70;
    for (unsigned char c : name)
        plain = plain && c >= 0x21 && c <= 0x7E;
    if (plain)
        return name;
    unsigned long long hash = 1469598103934665603ULL;  // FNV-1a, 64 bits
    for (unsigned char c : name) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    char text[24];
    std::snprintf(text, sizeof text, "h%016llx", hash);
    return text;
}
