// Header readers over MessageReader (file_ops.h), which folds CR LF to LF.
#include "mailstore/header_reader.h"

#include <cstdlib>
#include <cstring>

#include "mailstore/file_ops.h"
#include "mailstore/text.h"

// Skips the blanks and tabs after the name and drops the line's newline.
// Trailing blanks and a CR that stands on its own stay in the value.
static char *ValueAfterName(char *line, size_t nameLength)
{
    char *value = line + nameLength;
    while (*value == ' ' || *value == '\t')
        value++;
    size_t length = strlen(value);
    if (length > 0 && value[length - 1] == '\n')
        value[length - 1] = '\0';
    return value;
}

// The line-by-line search of ReadHeaderLine on an open reader. Line lengths
// are the counts of bytes read, so a NUL byte in a line does not make it
// look shorter or unfinished.
static char *FindHeaderLine(MessageReader *reader, const char *name, char *buffer, size_t size)
{
    size_t nameLength = strlen(name);
    for (;;) {
        size_t count = MessageReaderGetLine(reader, buffer, size - 1);
        if (count == 0)
            return nullptr;
        if (count < 2)
            return nullptr; // the empty line that ends the header block
        if (!LineEndsWithNewline(buffer, count))
            MessageReaderSkipLine(reader); // the rest of a line longer than the buffer
        // A matching last line without a final newline is not taken, nor is
        // anything after a failed read.
        if (MessageReaderStopped(reader))
            return nullptr;
        if (count >= nameLength && memcmp(buffer, name, nameLength) == 0)
            return ValueAfterName(buffer, nameLength);
    }
}

char *ReadHeaderLine(const char *path, const char *name, char *buffer, size_t size)
{
    if (size < 2)
        return nullptr; // no room for a line of even one byte and its NUL
    MessageReader reader;
    if (MessageReaderOpen(&reader, path) != 0)
        return nullptr;
    char *value = FindHeaderLine(&reader, name, buffer, size);
    MessageReaderClose(&reader);
    return value;
}

// Compares the next bytes of the file with `rest`, the name after its first
// byte, ASCII case ignored. Returns 0 on a match, with the blanks after the
// name read and the first byte after them still to be read; 1 otherwise.
// Bytes read before a mismatch are not put back: when the newline stopped
// the comparison, the caller's skip to the end of the line drops the line
// after it as well.
static int MatchHeaderName(MessageReader *reader, const char *rest)
{
    for (; *rest != '\0'; rest++) {
        int byte = MessageReaderGetByte(reader);
        if (byte == EOF || byte == '\n' || AsciiUpper(byte) != AsciiUpper((unsigned char)*rest))
            return 1;
    }
    int byte;
    do {
        byte = MessageReaderGetByte(reader);
    } while (byte == ' ');
    MessageReaderUngetByte(reader, byte); // no-op at the end of the file
    return 0;
}

// Growing heap text of a field value.
struct FieldText {
    char *bytes;
    size_t length;
    size_t capacity;
};

// Appends `byte`; 0, or -1 when no memory (the text is then released).
static int AppendByte(FieldText *text, int byte)
{
    if (text->length + 1 >= text->capacity) {
        size_t capacity = text->capacity == 0 ? 128 : text->capacity * 2;
        char *grown = (char *)realloc(text->bytes, capacity);
        if (grown == nullptr) {
            free(text->bytes);
            text->bytes = nullptr;
            return -1;
        }
        text->bytes = grown;
        text->capacity = capacity;
    }
    text->bytes[text->length++] = (char)byte;
    return 0;
}

// Reads a field's value from the current position: up to the newline that
// is not followed by a blank or tab, or to the end of the file or a read
// error. A fold's newline and its one blank or tab are dropped. Returns a
// new heap string, or nullptr when the value is empty or no memory.
static char *ReadFieldBody(MessageReader *reader)
{
    FieldText text = {nullptr, 0, 0};
    int byte = MessageReaderGetByte(reader);
    while (byte != EOF) {
        if (byte == '\n') {
            int next = MessageReaderGetByte(reader);
            if (next != '\t' && next != ' ')
                break;
        } else if (AppendByte(&text, byte) != 0) {
            return nullptr;
        }
        if (MessageReaderStopped(reader))
            break;
        byte = MessageReaderGetByte(reader);
    }
    if (text.length == 0)
        return nullptr;
    text.bytes[text.length] = '\0';
    return text.bytes;
}

// The byte-by-byte search of ReadUnfoldedHeader on an open reader.
static char *FindUnfoldedHeader(MessageReader *reader, const char *name)
{
    int first = AsciiUpper((unsigned char)name[0]);
    int byte = MessageReaderGetByte(reader);
    if (byte == '\n')
        return nullptr; // the file starts with the empty line: no header
    for (;;) {
        if (AsciiUpper(byte) == first && MatchHeaderName(reader, name + 1) == 0)
            return ReadFieldBody(reader);
        MessageReaderSkipLine(reader);
        if (MessageReaderStopped(reader))
            return nullptr;
        byte = MessageReaderGetByte(reader);
        if (byte == '\n')
            return nullptr; // the empty line that ends the header block
    }
}

char *ReadUnfoldedHeader(const char *path, const char *name)
{
    if (name[0] == '\0')
        return nullptr;
    MessageReader reader;
    if (MessageReaderOpen(&reader, path) != 0)
        return nullptr;
    char *value = FindUnfoldedHeader(&reader, name);
    MessageReaderClose(&reader);
    return value;
}

char *HeaderLineOf(MessageFile *message, const char *name, char *buffer, size_t size)
{
    if (size < 2)
        return nullptr;
    MessageReader reader;
    MessageReaderStart(&reader, message);
    return FindHeaderLine(&reader, name, buffer, size);
}

char *UnfoldedHeaderOf(MessageFile *message, const char *name)
{
    if (name[0] == '\0')
        return nullptr;
    MessageReader reader;
    MessageReaderStart(&reader, message);
    return FindUnfoldedHeader(&reader, name);
}
