// Many unit tests compare a whole state at once: the code under test is summed up as
// "key=value;" tokens, and a table row names the tokens it expects.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace trimora_test {

// Every "key=value;" token of want must appear whole in facts, which starts with ';'.
inline void ExpectFacts(const std::string& facts, const std::string& want) {
    for (size_t b = 0, e; (e = want.find(';', b)) != std::string::npos; b = e + 1)
        EXPECT_NE(facts.find(";" + want.substr(b, e - b + 1)), std::string::npos)
            << "no " << want.substr(b, e - b) << " in " << facts;
}

} // namespace trimora_test
