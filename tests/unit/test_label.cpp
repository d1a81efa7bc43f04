// The readout label's own text rules: "&" marks the next character (drawn underlined, the mark
// itself not drawn), "&&" is one "&", and a tab moves the rest of the line to the next tab stop.
// The in-memory painter's font is 120 pixels high here: 60 pixels a character, tab stops every
// 480 pixels.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "form_fixture.h"

namespace vreko {
namespace {

using testing::FormFixture;
using testing::Ini;

struct Drawn {
    std::vector<headless::DrawOp> texts;
    std::vector<headless::DrawOp> underlines;  // fills in the text's own colour
};

// What the label draws, at once, for a new caption.
Drawn DrawCaption(FormFixture& f, const std::string& caption) {
    f.window().ops.clear();
    f.form->VrLabel1.SetCaption(caption);
    Drawn d;
    const Color textColor = f.form->VrLabel1.Font().color;
    for (const auto& op : f.window().ops) {
        if (op.kind == "text")
            d.texts.push_back(op);
        else if (op.kind == "fill" && op.color == textColor)
            d.underlines.push_back(op);
    }
    return d;
}

TEST(Label, AnAmpersandUnderlinesTheNextCharacterAndTwoDrawOne) {
    FormFixture f(Ini());
    f.Start();
    const TVrLabel& label = f.form->VrLabel1;
    const int middle = label.Left + label.Width() / 2;

    Drawn d = DrawCaption(f, "&Go");
    ASSERT_EQ(d.texts.size(), 1u);
    EXPECT_EQ(d.texts[0].text, "Go");
    const int left = d.texts[0].points[0].x;
    EXPECT_EQ(left, middle - 60);  // "Go" is centred: the mark takes no room
    ASSERT_EQ(d.underlines.size(), 1u);
    EXPECT_EQ(d.underlines[0].rect.left, left);
    EXPECT_EQ(d.underlines[0].rect.right, left + 60);             // under the "G" alone
    EXPECT_GT(d.underlines[0].rect.top, d.texts[0].points[0].y);  // below the baseline

    d = DrawCaption(f, "A&&B");
    ASSERT_EQ(d.texts.size(), 1u);
    EXPECT_EQ(d.texts[0].text, "A&B");
    EXPECT_TRUE(d.underlines.empty());

    // A mark before a character of several bytes underlines the whole character.
    d = DrawCaption(f, "&\xD0\x96z");
    ASSERT_EQ(d.texts.size(), 1u);
    EXPECT_EQ(d.texts[0].text, "\xD0\x96z");
    ASSERT_EQ(d.underlines.size(), 1u);
    EXPECT_EQ(d.underlines[0].rect.Width(), 60);

    // A mark at the very end draws nothing.
    d = DrawCaption(f, "A&");
    ASSERT_EQ(d.texts.size(), 1u);
    EXPECT_EQ(d.texts[0].text, "A");
    EXPECT_TRUE(d.underlines.empty());

    // Without the accelerator handling the marks are drawn as they are.
    f.form->VrLabel1.SetShowAccelChar(false);
    d = DrawCaption(f, "&&G");
    ASSERT_EQ(d.texts.size(), 1u);
    EXPECT_EQ(d.texts[0].text, "&&G");
    EXPECT_TRUE(d.underlines.empty());
}

TEST(Label, ATabMovesTheRestToTheNextTabStopAndTheLineStaysCentred) {
    FormFixture f(Ini());
    f.Start();
    const TVrLabel& label = f.form->VrLabel1;

    Drawn d = DrawCaption(f, "a\tb");
    ASSERT_EQ(d.texts.size(), 2u);
    EXPECT_EQ(d.texts[0].text, "a");
    EXPECT_EQ(d.texts[1].text, "b");
    EXPECT_EQ(d.texts[1].points[0].x - d.texts[0].points[0].x, 480);
    // The line is 540 pixels wide ("a", the gap to the stop, "b"), centred on the label.
    EXPECT_EQ(d.texts[0].points[0].x, label.Left + (label.Width() - 540) / 2);

    // A piece that reaches past a stop goes on to the next one; two tabs skip one stop.
    d = DrawCaption(f, "12345678\tx\t\ty");
    ASSERT_EQ(d.texts.size(), 3u);
    const int start = d.texts[0].points[0].x;
    EXPECT_EQ(d.texts[1].points[0].x - start, 960);
    EXPECT_EQ(d.texts[2].points[0].x - start, 1920);

    // An underlined character after a tab is underlined where it is drawn.
    d = DrawCaption(f, "a\t&b");
    ASSERT_EQ(d.texts.size(), 2u);
    ASSERT_EQ(d.underlines.size(), 1u);
    EXPECT_EQ(d.underlines[0].rect.left, d.texts[1].points[0].x);
}

}  // namespace
}  // namespace vreko
