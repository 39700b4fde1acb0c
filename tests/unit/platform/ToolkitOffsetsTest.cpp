#include "platform/atspi/ToolkitOffsets.h"

#include <gtest/gtest.h>

namespace {

const QString grin = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units, one code point

TEST(ToolkitOffsets, QtCountsUtf16AndOthersCountCodePoints)
{
    EXPECT_EQ(ToolkitOffsets::forToolkit("Qt").unit(), ToolkitOffsets::Unit::Utf16);
    EXPECT_EQ(ToolkitOffsets::forToolkit("gtk").unit(), ToolkitOffsets::Unit::CodePoint);
    EXPECT_EQ(ToolkitOffsets::forToolkit("GAIL").unit(), ToolkitOffsets::Unit::CodePoint);
    EXPECT_EQ(ToolkitOffsets::forToolkit("").unit(), ToolkitOffsets::Unit::CodePoint);
}

struct OffsetCase
{
    const char* name;
    QString text;
    qsizetype codePoints;
    qsizetype utf16;
};

class CodePointOffsets : public ::testing::TestWithParam<OffsetCase>
{
};

TEST_P(CodePointOffsets, ConvertBothWays)
{
    const OffsetCase& c = GetParam();
    const ToolkitOffsets gtk(ToolkitOffsets::Unit::CodePoint);
    const ToolkitOffsets qt(ToolkitOffsets::Unit::Utf16);

    EXPECT_EQ(gtk.toUtf16(c.text, c.codePoints), c.utf16);
    EXPECT_EQ(gtk.fromUtf16(c.text, c.utf16), c.codePoints);
    EXPECT_EQ(qt.toUtf16(c.text, c.utf16), c.utf16);
    EXPECT_EQ(qt.fromUtf16(c.text, c.utf16), c.utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CodePointOffsets,
    ::testing::Values(OffsetCase{"Start", "a" + grin + "b", 0, 0},
                      OffsetCase{"BeforeEmoji", "a" + grin + "b", 1, 1},
                      OffsetCase{"AfterEmoji", "a" + grin + "b", 2, 3},
                      OffsetCase{"End", "a" + grin + "b", 3, 4},
                      OffsetCase{"TwoEmoji", grin + grin, 2, 4},
                      OffsetCase{"AccentsAreOneUnit", QString::fromUtf8("é€x"), 2, 2},
                      // Past the end stays past the end, so a range check still refuses it.
                      OffsetCase{"PastTheEnd", "a" + grin, 4, 5}, OffsetCase{"Empty", "", 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ToolkitOffsets, InsertionLengthIsUtf16ForQtAndBytesOtherwise)
{
    const QString text = "a" + grin + QString::fromUtf8("é");
    EXPECT_EQ(ToolkitOffsets(ToolkitOffsets::Unit::Utf16).insertionLength(text), 4);
    EXPECT_EQ(ToolkitOffsets(ToolkitOffsets::Unit::CodePoint).insertionLength(text), 7);
}

} // namespace
