// The README's example settings file works when a user copies it: it is loaded here exactly as
// it stands in README.md, by the whole program on the in-memory backend.
#include <algorithm>
#include <map>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "form_fixture.h"
#include "settings/settings.h"
#include "test_settings_util.h"

namespace vreko::testing {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The text of the README's first ```ini block.
std::string ReadmeExample() {
    const std::string readme = settings_test::ReadAll(std::string(VREKO_SOURCE_DIR) + "/README.md");
    const std::string fence = "```ini\n";
    const auto open = readme.find(fence);
    if (open == std::string::npos) return {};
    const auto begin = open + fence.size();
    const auto close = readme.find("\n```", begin);
    if (close == std::string::npos) return {};
    return readme.substr(begin, close + 1 - begin);
}

TEST(ReadmeExample, LoadsAsItStands) {
    const std::string example = ReadmeExample();
    ASSERT_FALSE(example.empty()) << "no ```ini block in README.md";

    // What a reader of the README takes each key to be: the text after its "=".
    std::map<std::string, std::string> shown;
    std::string_view rest = example;
    while (!rest.empty()) {
        const auto lf = rest.find('\n');
        const std::string_view line = TrimBlanks(rest.substr(0, lf));
        rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#' || line.front() == '[') continue;
        const auto eq = line.find('=');
        ASSERT_NE(eq, std::string_view::npos) << line;
        shown[std::string(TrimBlanks(line.substr(0, eq)))] = std::string(TrimBlanks(line.substr(eq + 1)));
    }
    ASSERT_EQ(shown.size(), 11u) << "the example lists every key";

    // Start-up only: no time passes, so the countdown never runs and no command is launched.
    FormFixture f(example);
    f.Start();
    for (const auto& box : f.platform.boxes) ADD_FAILURE() << "message box: " << box.text;
    EXPECT_TRUE(f.form->SettingsComplete());
    EXPECT_EQ(f.Settings(), example);  // nothing was missing, so nothing was written
    EXPECT_TRUE(f.platform.launches.empty());

    EXPECT_EQ(std::to_string(f.form->controller.TimePause), shown["TimePause"]);
    EXPECT_EQ(f.form->controller.TestMode, shown["Test"] == "1");
    const Commands& c = f.form->launcher.commands();
    EXPECT_EQ(c.FileName1, shown["FileName1"]);
    EXPECT_EQ(c.Param1, shown["Param1"]);
    EXPECT_EQ(c.FileName2, shown["FileName2"]);
    EXPECT_EQ(c.Param2, shown["Param2"]);
    EXPECT_EQ(f.form->VrLabel1.Font().desc.face, shown["FontName"]);
    EXPECT_EQ(f.form->VrLabel1.Font().desc.height, -PointsToPixels(std::stoi(shown["FontSize"]), f.platform.dpi));
    const Rect at = f.window().ScreenBounds();
    if (shown["PositionCenter"] == "1") {
        EXPECT_EQ(at.left, (f.platform.monitor.Width() - at.Width()) / 2);
        EXPECT_EQ(at.top, (f.platform.monitor.Height() - at.Height()) / 2);
    } else {
        EXPECT_EQ(std::to_string(at.left), shown["PositionLeft"]);
        EXPECT_EQ(std::to_string(at.top), shown["PositionTop"]);
    }
}

}  // namespace
}  // namespace vreko::testing
