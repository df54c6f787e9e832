// Lines of the filing log "sortella.log": one line per message that the
// filing command moved (or asked the host to move) and per correction,
// nine fields separated by TABs and ended by CR LF, so that a spreadsheet
// opens the file as a table. Texts are Shift_JIS bytes; a field never
// holds a TAB, CR, LF or other control byte, nor a first byte of a
// double-byte character without its second byte (which would swallow the
// TAB after it). Includes no Windows header.
#pragma once
#include <string>

// Most bytes of the sender and of the subject in a line, cut without
// splitting a double-byte character.
const int LogTextLimit = 200;

// A local date and time as the clock shows it: year (four digits), month
// 1-12, day 1-31, hour 0-23, minute and second 0-59.
struct LogTime {
    int Year, Month, Day, Hour, Minute, Second;
};

enum LogEventKind {
    LogFiled,     // a move of the filing command
    LogCorrected, // a correction of POPFile's verdict
};

// What one line tells. Every text is the caller's and is only read; a
// null text gives an empty field.
struct LogEvent {
    LogTime Time;
    LogEventKind Kind;
    const char *Account;     // the account's title
    const char *Entry;       // the message's entry, as given to the host's move
    const char *Destination; // "title\folder"; null when no move was asked
    bool Refused;            // the host did not move the message
    const char *Bucket;      // the bucket; for a correction the new one
    const char *OldBucket;   // a correction's bucket before it; else unused
    const char *Popfile;     // a correction's outcome words, the plug-in's own; else unused
    const char *From;        // the unfolded "From:" value as in the message
    const char *Subject;     // the unfolded "Subject:" value as in the message
};

// The first line of a new log: the nine column names, TABs between them,
// then CR LF.
std::string LogHeaderLine(void);

// "YYYY-MM-DD HH:MM:SS" of `time`, each number zero-padded to its width.
std::string LogDateText(const LogTime &time);

// The line of `event`, ended by CR LF. Columns: date and time; "振り分け"
// or "訂正"; account; entry; destination, followed by " (移動できず)" when
// the move was refused; bucket, for a correction "old → new"; for a
// correction the outcome words, empty for a move; the sender's display
// name and the subject, each decoded into Shift_JIS as the filing summary
// decodes them (whatever the summary's settings) and cut to LogTextLimit
// bytes. Reads `event`'s texts only; allocates the line.
std::string FormatLogLine(const LogEvent &event);

