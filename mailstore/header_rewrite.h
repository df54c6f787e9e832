// Rewrite of the "X-Text-Classification:" header line of a message file,
// after the user has corrected the classifier's verdict.
#pragma once

// Replaces the first "X-Text-Classification:" line of the header block of
// the message file `messagePath` (a path ending in ".PWK") with the line
// "X-Text-Classification: " + `bucketName`. The new file is written beside
// the message as the path with its last three characters replaced by "TMP"
// (an older file of that name is overwritten) and then takes the message's
// place in one step. Every line end of the new file is CR LF (an LF alone
// becomes CR LF); every other byte, 0x1A included, is copied unchanged.
//
// Returns 1 when the message file was replaced. Returns 0, with the message
// file exactly as it was and no temporary file left (unless deleting it
// failed), when: the path is null, empty, shorter than three bytes or ends
// in "TMP" itself; the header block has no such line (the header is never
// added; the name is matched with its case); or any open, read, write,
// close or the replace failed.
int RewriteClassificationHeaderFile(const char *messagePath, const char *bucketName);
