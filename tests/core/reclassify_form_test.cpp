#include "classifier/reclassify_form.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ReclassificationBody, PopfilesOwnFormByteForByte)
{
    EXPECT_EQ(ReclassificationBody("6a0b4f3c91", 1234, "spam"),
              "search=&sort=-inserted&session=6a0b4f3c91&negate=&start_message=0&filter="
              "&reclassify_1234=spam&change=%BA%C6%CA%AC%CE%E0");
    EXPECT_EQ(ReclassificationBody("k", 1, "in-box_2.x~"),
              "search=&sort=-inserted&session=k&negate=&start_message=0&filter="
              "&reclassify_1=in-box_2.x~&change=%BA%C6%CA%AC%CE%E0");
    EXPECT_EQ(ReclassificationBody("", 2147483647, ""),
              "search=&sort=-inserted&session=&negate=&start_message=0&filter="
              "&reclassify_2147483647=&change=%BA%C6%CA%AC%CE%E0");
}

struct EncodeRow {
    const char *text;
    const char *encoded;
};

TEST(ReclassificationBody, KeyAndBucketCannotForgeFields)
{
    const EncodeRow rows[] = {
        {"a&b=c", "a%26b%3Dc"},
        {"spam&reclassify_1=inbox", "spam%26reclassify_1%3Dinbox"},
        {"a b+c%d", "a%20b%2Bc%25d"},
        {"\r\n", "%0D%0A"},
        {"\x83\x5c\xff", "%83%5C%FF"},
        {"/?#;", "%2F%3F%23%3B"},
        {"AZaz09-_.~", "AZaz09-_.~"},
    };
    const std::string head = "search=&sort=-inserted&session=";
    for (const EncodeRow &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ReclassificationBody(row.text, 5, row.text),
                  head + row.encoded + "&negate=&start_message=0&filter=&reclassify_5=" +
                      row.encoded + "&change=%BA%C6%CA%AC%CE%E0");
    }
}

} // namespace
