// Decoding of HTML form texts (application/x-www-form-urlencoded) and of
// percent-escapes in request paths.
#pragma once

#include <string>
#include <vector>

// Decodes each %XX (hex digits in either case) into its byte and, with
// `plusIsBlank`, each '+' into a blank. A '%' that is not followed by two hex
// digits stays as it is; decoding never fails.
std::string PercentDecode(const std::string& text, bool plusIsBlank);

struct FormField {
    std::string name;   // decoded
    std::string value;  // decoded
    std::string rawValue;  // as sent
};

// Splits a form text at '&' and each piece at its first '='. Empty pieces
// are skipped; a piece without '=' gives an empty value. Fields keep their
// order, repeated names included.
std::vector<FormField> ParseFormFields(const std::string& text);
