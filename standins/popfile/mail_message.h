// Message text as the POP3 side hands it out: spool files are RFC 822 texts
// with LF or CR LF line ends; on the wire every line ends in CR LF, the
// classifier's header lines stand at the end of the header block, and the
// multi-line reply is dot-stuffed.
#pragma once

#include <string>
#include <vector>

// Splits raw message bytes into lines without their line ends (LF, or CR LF:
// one CR directly before the LF). A last line without a line end is still a
// line; an empty text gives no lines.
std::vector<std::string> SplitMessageLines(const std::string& raw);

// Index of the first empty line, which ends the header block, or
// lines.size() when the message has none.
size_t HeaderBlockEnd(const std::vector<std::string>& lines);

// Value of the first header field in the header block whose name equals
// `name` (given without colon) regardless of ASCII case. Continuation lines
// are joined with their leading blank; blanks at both ends are trimmed.
// Empty when the field is absent.
std::string HeaderFieldValue(const std::vector<std::string>& lines, const std::string& name);

// The lines without the classifier's own header fields
// ("X-Text-Classification:", "X-POPFile-Link:", any letter case, with
// their continuation lines) in the header block: POPFile removes those a
// message brings before it adds its own.
std::vector<std::string> WithoutClassifierFields(const std::vector<std::string>& lines);

// The message as handed out: every line ends in CR LF and the `extra`
// header lines (without line ends) stand just before the empty line that
// ends the header block. A message without that empty line gets one after
// the extra lines; with no extra lines the text only changes its line ends.
std::string BuildDeliveredMessage(const std::vector<std::string>& lines,
                                  const std::vector<std::string>& extra);

// The multi-line POP3 payload of a CR LF text: a line that starts with "."
// gets one more "." in front, and ".\r\n" ends it. A text that does not end
// in CR LF gets one first.
std::string DotStuffed(const std::string& crlfText);

// The header block, the empty line and the first `bodyLines` lines of the
// body of a text built by BuildDeliveredMessage (the POP3 command TOP).
std::string TopOfMessage(const std::string& delivered, long bodyLines);
