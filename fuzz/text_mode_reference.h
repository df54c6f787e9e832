// The header readers written plainly against the C library's stdio (fgets,
// getc, feof, fseek), as on a text-mode stream: run on a file whose CR LF
// pairs were folded beforehand, they give what the readers must give on the
// unfolded file. The fuzz targets compare the two.
#pragma once
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

inline char *ReferenceReadHeaderLine(const char *path, const char *name, char *buffer, int size)
{
    size_t nameLength = strlen(name);
    FILE *file = fopen(path, "r");
    if (file == nullptr)
        return nullptr;
    char *result = nullptr;
    if (fgets(buffer, size, file) != nullptr) {
        for (;;) {
            size_t length = strlen(buffer);
            if (length < 2)
                break;
            if (buffer[length - 1] != '\n') {
                int byte;
                while ((byte = getc(file)) != EOF && byte != '\n') {
                }
            }
            if (feof(file) || ferror(file))
                break;
            if (strncmp(buffer, name, nameLength) == 0) {
                char *value = buffer + nameLength;
                while (*value == ' ' || *value == '\t')
                    value++;
                size_t rest = strlen(value);
                if (rest > 0 && value[rest - 1] == '\n')
                    value[rest - 1] = '\0';
                result = value;
                break;
            }
            if (fgets(buffer, size, file) == nullptr)
                break;
        }
    }
    fclose(file);
    return result;
}

inline int ReferenceMatchHeaderName(FILE *file, const char *rest)
{
    for (; *rest != '\0'; rest++) {
        int byte = getc(file);
        if (byte == EOF || byte == '\n' || toupper(byte) != toupper((unsigned char)*rest))
            return 1;
    }
    int byte;
    while ((byte = getc(file)) == ' ') {
    }
    if (byte == EOF)
        return 0;
    fseek(file, -1, SEEK_CUR);
    return 0;
}

inline char *ReferenceReadFieldBody(FILE *file)
{
    std::string text;
    int byte = getc(file);
    while (byte != EOF) {
        if (byte == '\n') {
            int next = getc(file);
            if (next != '\t' && next != ' ')
                break;
        } else {
            text += (char)byte;
        }
        if (feof(file) || ferror(file))
            break;
        byte = getc(file);
    }
    if (text.empty())
        return nullptr;
    char *copy = (char *)malloc(text.size() + 1);
    memcpy(copy, text.data(), text.size() + 1);
    return copy;
}

inline char *ReferenceReadUnfoldedHeader(const char *path, const char *name)
{
    FILE *file = fopen(path, "r");
    if (file == nullptr)
        return nullptr;
    char *result = nullptr;
    int byte = getc(file);
    while (byte != '\n') {
        if (toupper(byte) == toupper((unsigned char)name[0]) && ReferenceMatchHeaderName(file, name + 1) == 0) {
            result = ReferenceReadFieldBody(file);
            break;
        }
        while ((byte = getc(file)) != EOF && byte != '\n') {
        }
        if (feof(file) || ferror(file))
            break;
        byte = getc(file);
    }
    fclose(file);
    return result;
}
