// The README's example settings file works when a user copies it: it is loaded here exactly as
// it stands in README.md, by the whole program on the in-memory backend.
#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>

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

// The text of each ```ini block of the README, in order.
std::vector<std::string> ReadmeExamples() {
    const std::string readme = settings_test::ReadAll(std::string(VREKO_SOURCE_DIR) + "/README.md");
    const std::string fence = "```ini\n";
    std::vector<std::string> examples;
    for (auto open = readme.find(fence); open != std::string::npos; open = readme.find(fence, open + 1)) {
        const auto begin = open + fence.size();
        const auto close = readme.find("\n```", begin);
        if (close == std::string::npos) break;
        examples.push_back(readme.substr(begin, close + 1 - begin));
    }
    return examples;
}

// What a reader of the README takes each key of an example to be: the text after its "=".
std::map<std::string, std::string> ShownKeys(std::string_view rest) {
    std::map<std::string, std::string> shown;
    while (!rest.empty()) {
        const auto lf = rest.find('\n');
        const std::string_view line = TrimBlanks(rest.substr(0, lf));
        rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#' || line.front() == '[') continue;
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            ADD_FAILURE() << "not a key: " << line;
            continue;
        }
        shown[std::string(TrimBlanks(line.substr(0, eq)))] = std::string(TrimBlanks(line.substr(eq + 1)));
    }
    return shown;
}

// Each example settings file of the README works when a user copies it.
void LoadsAsItStands(const std::string& example) {
    std::map<std::string, std::string> shown = ShownKeys(example);
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

TEST(ReadmeExample, EveryExampleLoadsAsItStands) {
    const std::vector<std::string> examples = ReadmeExamples();
    ASSERT_GE(examples.size(), 2u) << "README.md has a trial settings file and the reference one";
    for (const std::string& example : examples) {
        SCOPED_TRACE(example);
        LoadsAsItStands(example);
    }
}

TEST(ReadmeExample, TheTrialBeforeTheFirstStartSwitchesNothingOff) {
    // The first example is the one the README gives to try the program with: it lists every key,
    // so that the start writes no default command into it, and neither command switches off.
    const std::vector<std::string> examples = ReadmeExamples();
    ASSERT_FALSE(examples.empty());
    std::map<std::string, std::string> shown = ShownKeys(examples.front());
    EXPECT_EQ(shown["Test"], "1");
    for (const char* key : {"FileName1", "FileName2"}) {
        ASSERT_TRUE(shown.count(key)) << key;
        for (const char* harmful : {"systemctl", "shutdown", "poweroff", "halt", "reboot", "loginctl", "nncron"})
            EXPECT_EQ(shown[key].find(harmful), std::string::npos) << key << "=" << shown[key];
    }
}

}  // namespace
}  // namespace vreko::testing
