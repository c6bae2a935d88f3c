// Reading and comparing distinguished names written as text.
#include "DigitalSignatureUtilPkcs11.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using NameMap = DigitalSignatureUtil::NameMap;

namespace {

class DistinguishedNames : public ::testing::Test {
protected:
    DigitalSignatureUtilPkcs11 engine;
};

TEST_F(DistinguishedNames, TrimLowersAndCollapsesSpaces) {
    struct Case {
        std::string text;
        std::string trimmed;
    };
    for (Case row : std::vector<Case>{{"  AB   DE ", "ab de"},
                                      {"", ""},
                                      {"   ", ""},
                                      {"a\tB\nC", "a\tb\nc"},
                                      {"N\xc3\x9a \xfa", "n\xc3\x9a \xfa"}}) {
        std::string original = row.text;
        EXPECT_EQ(engine.trim(row.text), row.trimmed) << original;
        EXPECT_EQ(row.text, original);
    }
}

TEST_F(DistinguishedNames, ReadsOneNameIntoAMap) {
    struct Case {
        std::string text;
        NameMap name;
    };
    for (const Case& row :
         std::vector<Case>{{"CN=Root  CA, O=Some Org ,OU=Unit",
                            {{"cn", "root ca"}, {"o", "some org"}, {"ou", "unit"}}},
                           {"cn=a,", {{"cn", ""}}},
                           {"cn=a,b", {{"cn", "b"}}},
                           {"cn=a=b", {{"a", "b"}}},
                           {"Sin Igual", {{"", "sin igual"}}},
                           {"", {{"", ""}}},
                           {"cn=a,cn=b", {{"cn", "b"}}},
                           {"CN=\"a\\,b\"", {{"cn", "b\""}}},
                           {"OID.2.5.4.5=1", {{"serialnumber", "1"}}},
                           {"Identificador de objeto (2 5 4 5)=2", {{"serialnumber", "2"}}},
                           {"N\xfamero de serie=3", {{"serialnumber", "3"}}},
                           {"N\xc3\xba"
                            "mero de serie=4",
                            {{"n\xc3\xba"
                              "mero de serie",
                              "4"}}},
                           {"S=Madrid", {{"st", "madrid"}}},
                           {"ST=Madrid", {{"st", "madrid"}}}}) {
        EXPECT_EQ(engine.GetNameValueMap(row.text), row.name) << row.text;
    }
}

TEST_F(DistinguishedNames, ReadsAListOfNamesSkippingEmptyPieces) {
    std::string text = "| cn=a |  | o=b |";
    EXPECT_THAT(engine.GetNameValueMaps(text),
                ElementsAre(NameMap{{"cn", "a"}}, NameMap{{"o", "b"}}));
    EXPECT_EQ(text, "| cn=a |  | o=b |");

    std::string empty;
    EXPECT_THAT(engine.GetNameValueMaps(empty), IsEmpty());
    std::string blanks = "  | |";
    EXPECT_THAT(engine.GetNameValueMaps(blanks), IsEmpty());
}

TEST_F(DistinguishedNames, TheCaNamesAreReadTheSameWay) {
    EXPECT_THAT(engine.GetCADistinguishedNames("CN=Uno,O=X|CN=Dos"),
                ElementsAre(NameMap{{"cn", "uno"}, {"o", "x"}}, NameMap{{"cn", "dos"}}));
}

TEST_F(DistinguishedNames, MatchIsEqualityOfTheMaps) {
    std::string text = "O=Org,CN=Name";
    NameMap name = engine.GetNameValueMap(text);
    EXPECT_TRUE(engine.AreMatch(name, engine.GetNameValueMap("cn = NAME , o=org")));
    EXPECT_FALSE(engine.AreMatch(name, engine.GetNameValueMap("cn=name,o=org,c=es")));
    EXPECT_FALSE(engine.AreMatch(engine.GetNameValueMap("cn=name,o=org,c=es"), name));
    EXPECT_FALSE(engine.AreMatch(name, engine.GetNameValueMap("cn=name,o=other")));
}

TEST_F(DistinguishedNames, FindsANameInAList) {
    std::string list = "cn=a|cn=b,o=c";
    DigitalSignatureUtil::NameList names = engine.GetNameValueMaps(list);
    EXPECT_TRUE(engine.HasDistinguishedName(names, engine.GetNameValueMap("O=C, CN=B")));
    EXPECT_FALSE(engine.HasDistinguishedName(names, engine.GetNameValueMap("cn=b")));
    EXPECT_FALSE(engine.HasDistinguishedName({}, engine.GetNameValueMap("cn=a")));
}

TEST_F(DistinguishedNames, PrintsOneLine) {
    NameMap name{{"o", "b"}, {"cn", "a"}};
    NameMap empty;

    testing::internal::CaptureStdout();
    engine.PrintDistinguishedName(name);
    engine.PrintDistinguishedName(empty);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "cn=a,o=b,\n\n");
}

} // namespace
