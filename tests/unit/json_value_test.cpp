// The front-ends' own reader of the probe's JSON reports.
#include "common/json_value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using trimora::frontend::JsonValue;

TEST(JsonValue, ReadsWhatTheProbePrintsAndRefusesTheRest) {
    bool ok = false;
    const JsonValue v = JsonValue::Parse(
        R"( {"t":{"title":"a\"b\\c\/\n\u00e9\ud83c\udfac\udc00","b":"x","b":"last"},
             "s":[{"w":1280,"r":"25/1","f":2.5,"n":null,"ok":true}], "e":[], "o":{}} )", &ok);
    ASSERT_TRUE(ok);
    const JsonValue& tags = v["t"];
    EXPECT_EQ(tags["title"].Text(), "a\"b\\c/\n\xC3\xA9\xF0\x9F\x8E\xAC\xEF\xBF\xBD");
    ASSERT_EQ(tags.Members().size(), 2u); // sorted by name, the last duplicate counts
    EXPECT_EQ(tags.Members()[0].first, "b");
    EXPECT_EQ(tags.Members()[0].second.Text(), "last");
    const JsonValue& s = v["s"].Items().at(0);
    EXPECT_EQ(s["f"].Int(-1), -1); // not a whole number
    EXPECT_DOUBLE_EQ(s["f"].Number(), 2.5);
    EXPECT_EQ(s["r"].Int(), 0);
    EXPECT_EQ(s["missing"]["deeper"].Text(), ""); // absent members read as null all the way

    const std::string bad[] = {"", "{", "{\"a\":1,}", "[1 2]", "{\"a\":01x}", "\"a\nb\"", "{} x",
                               "{'a':1}", "[.5]", "[1e999]", "\"\\x\"", "\"\\u12\"",
                               std::string(100000, '[')};
    for (const std::string& text : bad) {
        const JsonValue b = JsonValue::Parse(text, &ok);
        EXPECT_FALSE(ok) << text.substr(0, 20);
        EXPECT_EQ(b.Type(), JsonValue::Kind::Null);
    }
}
