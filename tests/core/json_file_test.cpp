// The check every JSON file of the device passes before the property-tree parser sees it.
#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <string>

#include "core/json_file.h"

namespace {

namespace pt = boost::property_tree;

std::string nested(int levels) { return std::string(levels, '[') + std::string(levels, ']'); }

std::string refusal(const std::string& text)
{
    pt::ptree tree;
    return json_file::parse(text, &tree);
}

TEST(JsonFile, RefusesWhatWouldOverrunTheParser)
{
    EXPECT_EQ(refusal(nested(64)), "");
    EXPECT_EQ(refusal(nested(65)), "nested deeper than 64 levels");
    EXPECT_EQ(refusal(std::string(100000, '[')), "nested deeper than 64 levels");
    EXPECT_EQ(refusal(R"({"a": ")" + std::string(200, '[') + R"("})"), "") << "brackets in a text";
    EXPECT_EQ(refusal(R"({"a": "\")" + std::string(200, '{') + R"("})"), "") << "after an escaped quote";

    std::string many = "[0";
    for (int i = 0; i < 5000; ++i)
        many += ",0";
    EXPECT_EQ(refusal(many + "]"), "more than 4096 values");
    EXPECT_EQ(refusal(R"({"a": ")" + std::string(json_file::kMaxBytes, 'x') + R"("})"),
              "larger than 1048576 bytes");
    EXPECT_EQ(refusal("{\"a\": 1").rfind("not JSON", 0), 0u);
    EXPECT_EQ(refusal("{null: 1}").rfind("not JSON", 0), 0u) << "a null key stays an error";
}

TEST(JsonFile, NullReadsAsAnEmptyText)
{
    pt::ptree tree;
    ASSERT_EQ(json_file::parse(R"({"a": null, "b": [1, null], "c": "null", "null": 1, "d": {"e":null}})", &tree), "");
    EXPECT_EQ(tree.get<std::string>("a"), "");
    EXPECT_EQ(tree.get_child("b").back().second.data(), "");
    EXPECT_EQ(tree.get<std::string>("c"), "null") << "a text is kept";
    EXPECT_EQ(tree.get<int>("null"), 1);
    EXPECT_EQ(tree.get<std::string>("d.e"), "");
}

}  // namespace
