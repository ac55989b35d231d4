// The rules of station and channel codes, and the reading of a channel list, without widgets.
#include "settings/code_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorda {
namespace {

TEST(CodeRules, CodesTheFileCannotTakeAreRefusedInOrder) {
    struct Case {
        std::string code;
        Refusal refusal;
    };
    const std::vector<Case> cases = {
        {"", Refusal::EmptyCode},
        {"ABCDEFGH", Refusal::CodeTooLong},
        {"A,B=C[DE", Refusal::CodeTooLong},  // length is looked at before the characters
        {"B\rZ", Refusal::CodeLineBreak},
        {"B\nZ ", Refusal::CodeLineBreak},
        {" BHZ", Refusal::CodeEdgeBlank},
        {"BHZ\t", Refusal::CodeEdgeBlank},
        {"\xA0"
         "BHZ",
         Refusal::CodeEdgeBlank},  // the no-break space of code page 1251
        {"B;Z", Refusal::CodeSeparator},
        {std::string("B\0Z", 3), Refusal::CodeNotInCodePage},
        {"BHZ", Refusal::None},
        {"B Z", Refusal::None},
        {"\xC1\xC3\xC7", Refusal::None},  // Cyrillic letters are code page text like any other
    };
    for (const Case& c : cases) {
        for (const CodeKind kind : {CodeKind::Station, CodeKind::Channel}) {
            EXPECT_EQ(checkCode(kind, c.code).refusal, c.refusal) << c.code;
        }
    }
    const RuleCheck separator = checkCode(CodeKind::Channel, "A=B,C");
    EXPECT_EQ(separator.character, ',');  // the first of , = [ ; looked for
    EXPECT_EQ(separator.text(),
              "Код канала «A=B,C» нельзя записать в файл настроек: он содержит "
              "символ «,».");
    EXPECT_EQ(checkCode(CodeKind::Station, "ABCDEFGH").text(),
              "Код станции «ABCDEFGH» нельзя записать в файл настроек: он длиннее 7 символов.");
    EXPECT_EQ(checkCode(CodeKind::Station, "\xC1\xC3\xC7,").code, "БГЗ,");
}

// A channel code names its time key and its FILE_ key in the group's section; a station code
// is only a value.
TEST(CodeRules, ChannelCodesMustNotNameTheGroupsKeys) {
    for (const char* code : {"STATION", "SizeMb", "sps", "CHAN", "FILE_", "file_AB"}) {
        const RuleCheck check = checkCode(CodeKind::Channel, code);
        EXPECT_FALSE(check) << code;
        EXPECT_TRUE(check.isWarning());
        EXPECT_TRUE(checkCode(CodeKind::Station, code)) << code;
    }
    EXPECT_EQ(checkCode(CodeKind::Channel, "CHAN").refusal, Refusal::CodeNamesGroupKey);
    EXPECT_EQ(checkCode(CodeKind::Channel, "FILE_A").refusal, Refusal::CodeNamesFileKey);
    for (const char* code : {"SPSX", "XFILE_", "FILE", "CHANS"}) {
        EXPECT_TRUE(checkCode(CodeKind::Channel, code)) << code;
    }
}

// Text as typed: a character without a place in the code page is refused, after the rules that
// any code keeps and before the key names.
TEST(CodeRules, TypedTextOutsideTheCodePageIsRefused) {
    EXPECT_TRUE(checkCodeText(CodeKind::Channel, "БГЗ"));
    const RuleCheck omega = checkCodeText(CodeKind::Channel, "BΩZ");
    EXPECT_EQ(omega.refusal, Refusal::CodeNotInCodePage);
    EXPECT_EQ(omega.code, "BΩZ");
    EXPECT_EQ(checkCodeText(CodeKind::Channel, "FILE_Ω").refusal, Refusal::CodeNotInCodePage);
    EXPECT_EQ(checkCodeText(CodeKind::Channel, "ΩΩΩΩΩΩΩΩ").refusal, Refusal::CodeTooLong);
    EXPECT_EQ(checkCodeText(CodeKind::Station, "Ω,").refusal, Refusal::CodeSeparator);
    EXPECT_EQ(checkCodeText(CodeKind::Station, "").refusal, Refusal::EmptyCode);
    EXPECT_EQ(checkCodeText(CodeKind::Station, "").text(), "Необходимо заполнить все поля!");
}

// A list is read as the reading service reads it, and a code that could not be written back as
// it was read is left out and named rather than turned into keys of the group.
TEST(CodeRules, AChannelListIsReadWithinTheFilesLimitAndTheCodeRules) {
    // C001 to C139: 694 characters, cut after 511 in the middle of C103.
    std::string list;
    for (int i = 1; i <= 139; ++i) {
        list += (i == 1 ? "C" : ",C") +
                std::string(i < 10    ? "00"
                            : i < 100 ? "0"
                                      : "") +
                std::to_string(i);
    }
    ASSERT_EQ(list.substr(510, 4), "C103");
    ChannelListReading cut = readChannelList(list);
    ASSERT_EQ(cut.codes.size(), 102u);
    EXPECT_EQ(cut.codes.back(), "C102");
    ASSERT_EQ(cut.cutCodes.size(), 37u);
    EXPECT_EQ(cut.cutCodes.front(), "C103");  // whole, not the "C" the limit leaves of it
    EXPECT_TRUE(cut.leftOut.empty());
    // A code that ends right at the limit is read.
    const ChannelListReading edge = readChannelList(list.substr(0, 509) + "02,X");
    EXPECT_EQ(edge.codes.back(), "C10202");
    EXPECT_EQ(edge.cutCodes, std::vector<std::string>{"X"});

    // Empty and blank codes are skipped; codes the file cannot hold as channels are left out.
    const ChannelListReading read = readChannelList("BHZ,, ,\t,STATION,FILE_Z,A=B, BHN,BHE,");
    EXPECT_EQ(read.codes, (std::vector<std::string>{"BHZ", "BHE"}));
    EXPECT_TRUE(read.cutCodes.empty());
    ASSERT_EQ(read.leftOut.size(), 4u);
    EXPECT_EQ(read.leftOut[0].refusal, Refusal::CodeNamesGroupKey);
    EXPECT_EQ(read.leftOut[1].refusal, Refusal::CodeNamesFileKey);
    EXPECT_EQ(read.leftOut[2].refusal, Refusal::CodeSeparator);
    EXPECT_EQ(read.leftOut[3].refusal, Refusal::CodeEdgeBlank);
    EXPECT_EQ(read.leftOut[0].code, "STATION");
    EXPECT_TRUE(readChannelList("BHZ,bhz,BHN").whole());  // a repeated code is the file's own
}

TEST(CodeRules, ChannelCodesIgnoreOnlyLatinCase) {
    EXPECT_TRUE(sameChannelCode("BHZ", "bhz"));
    EXPECT_TRUE(sameChannelCode("bHz", "BhZ"));
    EXPECT_FALSE(sameChannelCode("BHZ", "BHE"));
    EXPECT_FALSE(sameChannelCode("BHZ", "BHZ "));
    // Cyrillic letters must match exactly: "Б" (0xC1) against "б" (0xE1).
    EXPECT_FALSE(sameChannelCode("\xC1", "\xE1"));
    EXPECT_TRUE(sameChannelCode("\xC1Z", "\xC1z"));
}

}  // namespace
}  // namespace vorda
