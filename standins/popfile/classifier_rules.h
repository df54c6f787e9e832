// The stand-in's classifier: keyword lists per bucket, so that a verdict is
// predictable for tests and plausible for a demo. Text format, one directive
// per line ('#' starts a comment line):
//   bucket NAME            declares a bucket (page order = declaration order)
//   keyword NAME TEXT...   TEXT (rest of line) puts a message into NAME
//   default NAME           bucket of a message that no keyword matches
// Keywords are tried in file order; the first that occurs, ignoring ASCII
// case, in the Subject, the From or the body wins.
#pragma once

#include <string>
#include <vector>

struct KeywordRule {
    std::string bucket;
    std::string keyword;
};

struct ClassifierRules {
    std::vector<std::string> buckets;   // the buckets the web pages list
    std::vector<KeywordRule> keywords;  // in file order
    std::string defaultBucket = "unclassified";
};

// Bucket names are single tokens: letters, digits, '_', '-' and '.'.
bool IsBucketName(const std::string& name);

// Reads a rules text into `rules` (replaced whole). Returns 0, or -1 with
// `error` naming the first bad line; `rules` is then unchanged.
int ParseClassifierRules(const std::string& text, ClassifierRules* rules, std::string* error);

// The rules used when no file is given: spam, work and personal, with
// "unclassified" as the default bucket (not listed on the pages).
const char* BuiltInClassifierText();

// The bucket of a message given as its lines (SplitMessageLines). A header
// "X-Standin-Bucket: NAME" decides alone when present.
std::string ClassifyMessage(const ClassifierRules& rules, const std::vector<std::string>& lines);
