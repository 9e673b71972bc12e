#include "core/alias_reader.h"
#include "store_fixture.h"

namespace {
const char* kAlias = "/data/configs/alias.json";
}

TEST_F(StoreTest, AliasLookups)
{
    write(kAlias, R"({"other": 1, "namelist": {
        "source": [ {"id": "x", "valid": "on", "name": "bad id"},
                    {"valid": "on", "name": "no id"},
                    {"id": 2, "valid": "off", "name": "Camera"},
                    {"id": 3, "valid": "on", "name": ""},
                    {"id": 4, "valid": "on", "name": "Stage"},
                    {"id": 4, "valid": "on", "name": "Second"} ],
        "usermode": [ {"id": 0, "valid": "on", "name": "Morning"} ] }})");
    ALIAS_PARA a{-1, "?", "?"};
    EXPECT_EQ(get_json_alias_para(&a, "source", 2), 0);
    EXPECT_EQ(a.id, 2);
    EXPECT_EQ(a.valid, "off");
    EXPECT_EQ(a.name, "Camera");
    EXPECT_EQ(get_json_alias_para(&a, "source", 3), 0);
    EXPECT_EQ(get_json_alias_para(&a, "source", 4), 1);
    EXPECT_EQ(a.name, "Stage");
    a = {-1, "?", "?"};
    EXPECT_EQ(get_json_alias_para(&a, "source", 9), 0);
    EXPECT_EQ(a.id, -1);
    EXPECT_EQ(get_json_alias_para(&a, "usermode", 0), 1);
    EXPECT_EQ(get_json_alias_para(&a, "win", 0), 0);
    EXPECT_TRUE(exists(kAlias));

    write(kAlias, R"({"other": 1})");
    EXPECT_EQ(get_json_alias_para(&a, "source", 4), 0);
    EXPECT_TRUE(exists(kAlias));
}

TEST_F(StoreTest, TruncatedAliasFileIsDeleted)
{
    EXPECT_EQ(get_json_alias_para(nullptr, "source", 1), 0);  // missing file
    write(kAlias, R"({"namelist": {"source": [ {"id": 1, "val)");
    ALIAS_PARA a{};
    EXPECT_EQ(get_json_alias_para(&a, "source", 1), 0);
    EXPECT_FALSE(exists(kAlias));
    EXPECT_TRUE(shell_ran("rm -rf /data/configs/alias.json"));
}

// Nested 100,000 deep, the file would overflow the stack of the page that reads it.
TEST_F(StoreTest, NestedAliasFileIsRefusedAndDeleted)
{
    write(kAlias, std::string(100000, '['));
    ALIAS_PARA a{-1, "?", "?"};
    EXPECT_EQ(get_json_alias_para(&a, "source", 1), 0);
    EXPECT_EQ(a.id, -1);
    EXPECT_FALSE(exists(kAlias));

    write(kAlias, R"({"namelist": {"source": [{"id": 1, "valid": "on", "name": null}]}})");
    EXPECT_EQ(get_json_alias_para(&a, "source", 1), 0) << "a null name is no name";
    EXPECT_EQ(a.name, "");
}
