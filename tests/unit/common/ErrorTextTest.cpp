#include "common/ErrorText.h"

#include <gtest/gtest.h>

namespace {

TEST(ErrorText, ShowsTheFirstLineAndAtMostTwoHundredCharacters)
{
    const QString ellipsis(QChar(0x2026));
    const QString accented = QStringLiteral("e\u0301"); // one character of two units
    const struct
    {
        const char* name;
        QString text;
        QString shown;
    } cases[] = {
        {"short", "Transcription failed", "Transcription failed"},
        {"empty", "", ""},
        {"exactlyTheLimit", QString(200, 'x'), QString(200, 'x')},
        {"oneOver", QString(201, 'x'), QString(199, 'x') + ellipsis},
        {"furtherLines", "error: bad model\nusage: whisper-cli [options]\n",
         "error: bad model" + ellipsis},
        {"blankLinesAround", "\n  \r\n  error: bad model  \n\n", "error: bad model"},
        {"otherLineBreaks", QStringLiteral("one\u2028two"), "one" + ellipsis},
        {"carriageReturnOnly", "progress 10%\rprogress 20%", "progress 10%" + ellipsis},
        // Never cut inside a user-perceived character.
        {"combiningMarks", accented.repeated(300), accented.repeated(199) + ellipsis},
        {"emoji", QStringLiteral("\U0001F600").repeated(201),
         QStringLiteral("\U0001F600").repeated(199) + ellipsis},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ErrorText::forDisplay(c.text), c.shown);
    }
}

} // namespace
