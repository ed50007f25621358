// The hair object's tools rollout driven as a user drives it: through the panel script calls
// (in this process and from the command line), the file-dialog answers and the Escape key.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "cli_runner.h"
#include "dynamics/sim_cache.h"
#include "groom/brush_ops.h"
#include "groom/brush_state.h"
#include "groom/presets.h"
#include "groom/tools_macro.h"
#include "groom/tools_panel.h"
#include "hair/hair_params.h"
#include "host/file_dialog.h"
#include "host/keyboard.h"
#include "host/message_box.h"
#include "host/platform.h"
#include "host/script_exec.h"
#include "scene/panel_verbs.h"
#include "sim_fixtures.h"

using fixtures::Lines;

namespace {

class ToolsPanel : public fixtures::SimScene {
 protected:
  void SetUp() override {
    Load(fixtures::GrassSceneJson("", ", \"dynMode\": 0"));
    crn::scene::AddHostVerbs(runner);
    crn::scene::AddPanelVerbs(runner);
    crn::scene::ClearDialogAnswers();
    // The spinners show the module's brush settings, which other tests may have changed.
    crn::SetBrushKind(0);
    crn::SetBrushRadius(60);
    crn::SetBrushStrength(0.5f);
  }
  void TearDown() override {
    host::SetAsyncKeyStateSource(nullptr);
    ip().SetDir(host::APP_USER_MACRO_DIR, "");
    SimScene::TearDown();
  }
  // Runs script lines; their output lines, or the error text when a call fails.
  std::vector<std::string> Run(const std::string& script) {
    std::istringstream in(script);
    std::ostringstream out, warn, err;
    if (runner.Run("test", in, out, warn, err) != 0) return {"error: " + err.str()};
    return Lines(out.str());
  }
  std::string Text(int id) { return host::GetDlgItemText(crn::ToolsPanelWindow(), id); }
  int DynMode() { return hair->pblock2->GetInt(crn::hp::dynMode, 0); }
  std::string Path(const std::string& name) { return (dir.Path() / name).string(); }

  crn::scene::ScriptRunner runner{ip()};
};

TEST_F(ToolsPanel, OpensAfterTheParameterRolloutsWithEveryControl) {
  ASSERT_EQ(Run("panelOpen grass"), std::vector<std::string>{"ok"});
  const auto pages = ip().RollupPages();
  ASSERT_GE(pages.size(), 2u);
  EXPECT_EQ(pages.back().title, "Crinel - Tools");
  EXPECT_EQ(pages.back().hwnd, crn::ToolsPanelWindow());
  EXPECT_EQ(host::DialogTemplateId(pages.back().hwnd), 7500);

  struct Case {
    int id;
    const char* text;
    const char* group;
  };
  const Case cases[] = {
      {7503, "Apply", "Preset"},
      {7504, "Simulate range", "Dynamics"},
      {7505, "Reset", "Dynamics"},
      {7506, "Not simulated.", "Dynamics"},
      {7508, "Brush", "Groom brush"},
      {7509, "60", "Groom brush"},
      {7512, "0.5", "Groom brush"},
      {7513, "Reset grooming", "Groom brush"},
      {7514, "Save sim cache...", "Cache, export & view"},
      {7515, "Load sim cache...", "Cache, export & view"},
      {7516, "Live render", "Cache, export & view"},
      {7518, "Export PRT sequence (every hair point, all channels)...", "Cache, export & view"},
      {7519, "Make Corona / V-Ray material (keeps strand colours)", "Cache, export & view"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(c.id), c.text) << c.id;
    EXPECT_EQ(host::GetDlgItemGroup(crn::ToolsPanelWindow(), c.id), c.group) << c.id;
  }
  EXPECT_EQ(host::GetDlgItemList(crn::ToolsPanelWindow(), 7502).size(), 43u);
  EXPECT_EQ(host::GetDlgItemList(crn::ToolsPanelWindow(), 7507).size(), 15u);
  EXPECT_EQ(Run("panelText 7502\npanelSelect 7507 3"),
            (std::vector<std::string>{crn::PresetName(0), crn::BrushName(3)}));
  EXPECT_EQ(crn::Brush().brushKind, 3);
  EXPECT_EQ(Text(7517).rfind("This machine: up to ", 0), 0u) << Text(7517);

  // Closing takes the rollout away and every later command finds no object.
  const host::HWND old = crn::ToolsPanelWindow();
  Run("panelClose");
  EXPECT_EQ(crn::ToolsPanelWindow(), nullptr);
  EXPECT_FALSE(host::IsDialog(old));
  EXPECT_EQ(crn::ToolsDlgProc(nullptr, host::WM_COMMAND, host::MAKEWPARAM(7504, host::BN_CLICKED), 0), 0);
  EXPECT_EQ(DynMode(), 0);
}

TEST_F(ToolsPanel, ApplyUsesTheChosenPresetAndDeletingTheObjectClosesThePanel) {
  constexpr int kPreset = 7;
  Run("panelOpen grass\npanelSelect 7502 " + std::to_string(kPreset) + "\npanelPress 7503");
  host::Color root;
  host::Interval valid = host::FOREVER;
  ASSERT_TRUE(hair->pblock2->GetValue(crn::hp::rootColor, 0, root, valid));
  const float* want = crn::PresetRow(kPreset)->rootColor;
  EXPECT_NEAR(root.r, want[0], 1e-5f);
  EXPECT_NEAR(root.g, want[1], 1e-5f);
  EXPECT_NEAR(root.b, want[2], 1e-5f);

  ip().DeleteNode(node);
  EXPECT_EQ(crn::ToolsPanelWindow(), nullptr);
  EXPECT_EQ(crn::ToolsPanelObject(), nullptr);
  EXPECT_EQ(ip().EditedObject(), nullptr);
}

TEST_F(ToolsPanel, BadCallsAreErrors) {
  struct Case {
    const char* script;
    const char* error;
  };
  const Case cases[] = {
      {"panelPress 7504", "no tools panel is open"},
      {"panelOpen ground", "is not a hair object"},
      {"panelOpen grass\npanelPress 9999", "has no control 9999"},
      {"panelOpen grass\npanelSelect 7502 43", "has no entry 43 (0..42)"},
      {"panelOpen grass\npanelSpin 7503 2", "is not a spinner"},
      {"dialogAnswer [1, 2]", "a quoted path or cancel"},
  };
  for (const Case& c : cases) {
    const auto out = Run(c.script);
    ASSERT_FALSE(out.empty()) << c.script;
    EXPECT_NE(out.back().find(c.error), std::string::npos) << c.script << " -> " << out.back();
    Run("panelClose");
  }
}

TEST_F(ToolsPanel, SpinnersLimitWhatIsTyped) {
  EXPECT_EQ(Run("panelOpen grass\npanelSpin 7509 1\npanelSpin 7510 2500.4\npanelSpin 7512 5\npanelSpin 7511 0"),
            (std::vector<std::string>{"ok", "4", "1000", "1", "0.01"}));
  EXPECT_EQ(crn::Brush().brushRadius, 1000.f);
  EXPECT_FLOAT_EQ(crn::Brush().brushStrength, 0.01f);
  Run("panelSpin 7509 1");
  EXPECT_EQ(crn::Brush().brushRadius, 4.f);
  Run("panelSpin 7509 60\npanelSpin 7512 0.5");
}

TEST_F(ToolsPanel, ResetGroomingKeepsTheBrushModeOnAndClosingLeavesIt) {
  Run("panelOpen grass\npanelPress 7508");
  ASSERT_TRUE(crn::Brush().brushModeActive);
  EXPECT_EQ(Text(7517), "Brush: drag over the hair. Right-click to stop.");
  hair->SetGroomEdits(std::vector<crn::V3>(25 * 5, crn::V3{0, 0, 1}));
  Run("panelPress 7513");
  EXPECT_TRUE(hair->GroomEdits().empty());
  EXPECT_TRUE(crn::Brush().brushModeActive);
  EXPECT_TRUE(host::GetICustButton(host::GetDlgItem(crn::ToolsPanelWindow(), 7508))->IsChecked());
  Run("panelClose");
  EXPECT_FALSE(crn::Brush().brushModeActive);
  EXPECT_EQ(ip().GetCommandMode(), nullptr);
}

TEST_F(ToolsPanel, RangeSimulationSwitchesDynamicsOnAndReportsEachFrame) {
  ip().SetAnimRange(host::Interval(0, Frame(100)));
  hair->pblock2->SetValue(crn::hp::dynStart, 0, 10);
  ASSERT_EQ(DynMode(), 0);
  std::vector<std::string> seen;
  host::SetAsyncKeyStateSource([&](int vk) {
    if (vk == int(host::VK_ESCAPE)) seen.push_back(Text(7517));
    return false;
  });
  Run("panelOpen grass\npanelPress 7504");
  EXPECT_EQ(DynMode(), 1);
  ASSERT_EQ(seen.size(), 91u);
  EXPECT_EQ(seen.front(), "Simulating 1 / 91  (Esc cancels)");
  EXPECT_EQ(seen.back(), "Simulating 91 / 91  (Esc cancels)");
  EXPECT_EQ(Text(7517), "Simulation done.");
  EXPECT_EQ(Text(7506), "CPU  25 guides  frames 10-100 ");

  // Escape held at the fifth report stops; the frames so far stay.
  host::SetAsyncKeyStateSource([&](int) { return Text(7517) == "Simulating 5 / 91  (Esc cancels)"; });
  Run("panelPress 7504");
  EXPECT_EQ(Text(7517), "Simulation stopped.");
  EXPECT_EQ(Text(7506), "CPU  25 guides  frames 10-14 ");
  Run("panelPress 7505");
  EXPECT_EQ(Text(7506), "Not simulated.");
}

TEST_F(ToolsPanel, CacheButtonsSaveAndLoadThroughTheDialogs) {
  const std::string cache = Path("grass.crnc");
  std::filesystem::remove(cache);
  Run("panelOpen grass\npanelPress 7504");
  const std::string before = Text(7517);
  // A cancelled dialog does nothing at all.
  Run("dialogAnswer cancel\npanelPress 7514\npanelPress 7515");
  EXPECT_EQ(Text(7517), before);
  EXPECT_FALSE(std::filesystem::exists(cache));

  Run("dialogAnswer \"" + Path("grass") + "\"\npanelPress 7514");
  EXPECT_EQ(Text(7517), "Cache written.");
  ASSERT_TRUE(std::filesystem::exists(cache));  // the default extension was added
  const host::OPENFILENAME shown = host::LastFileDialog();
  ASSERT_EQ(shown.filters.size(), 2u);
  EXPECT_EQ(shown.filters[0].first, "Crinel simulation (*.crnc)");
  EXPECT_EQ(shown.filters[1].second, "*.*");
  EXPECT_TRUE(shown.flags & host::OFN_OVERWRITEPROMPT);

  // Saving over it asks first; no keeps the file.
  const auto written = std::filesystem::last_write_time(cache);
  Run("panelPress 7504\nboxAnswer no\ndialogAnswer \"" + cache + "\"\npanelPress 7514");
  EXPECT_EQ(Text(7517), "Simulation done.");
  EXPECT_NE(host::LastMessageBoxText().find(" already exists.\nDo you want to replace it?"), std::string::npos);
  EXPECT_EQ(std::filesystem::last_write_time(cache), written);

  Run("panelPress 7505");
  hair->pblock2->SetValue(crn::hp::dynMode, 0, 0);
  Run("dialogAnswer \"" + cache + "\"\npanelPress 7515");
  EXPECT_EQ(Text(7517), "Cache loaded.");
  EXPECT_EQ(DynMode(), 2);
  EXPECT_EQ(hair->pblock2->GetStr(crn::hp::dynCachePath, 0), cache);

  // A file that is not a cache, and one that does not exist.
  const std::string junk = dir.Write("junk.crnc", "not a cache");
  Run("dialogAnswer \"" + junk + "\"\npanelPress 7515");
  EXPECT_EQ(Text(7517), "Cache file could not be used.");
  EXPECT_EQ(hair->pblock2->GetStr(crn::hp::dynCachePath, 0), cache);
  Run("panelPress 7505\ndialogAnswer \"" + Path("missing.crnc") + "\"\npanelPress 7515");
  EXPECT_EQ(Text(7517), "Cache file could not be used.") << "unchanged: the dialog refused the name";
  EXPECT_NE(host::LastMessageBoxText().find("File not found."), std::string::npos);
}

TEST_F(ToolsPanel, PrtExportNumbersFilesAfterTheLastDot) {
  ip().SetAnimRange(host::Interval(0, Frame(2)));
  Run("panelOpen grass\ndialogAnswer \"" + Path("fur.final.prt") + "\"\npanelPress 7518");
  EXPECT_EQ(Text(7517), "PRT: 3 frames written.");
  for (const char* name : {"fur.final_0000.prt", "fur.final_0001.prt", "fur.final_0002.prt"})
    EXPECT_TRUE(std::filesystem::exists(Path(name))) << name;
  EXPECT_FALSE(std::filesystem::exists(Path("fur_0000.prt")));
  const host::OPENFILENAME shown = host::LastFileDialog();
  EXPECT_EQ(shown.file, "hair.prt");
  EXPECT_EQ(shown.title, "PRT sequence - frame numbers are added (hair_0000.prt ...)");
  EXPECT_EQ(shown.defExt, "prt");

  // A folder that does not exist: nothing written, and the count says so.
  Run("dialogAnswer \"" + Path("none/hair.prt") + "\"\npanelPress 7518");
  EXPECT_EQ(Text(7517), "PRT: 0 frames written.");
  // No answer queued: the dialog is cancelled and the message stays.
  Run("panelPress 7518");
  EXPECT_EQ(Text(7517), "PRT: 0 frames written.");
}

TEST_F(ToolsPanel, MaterialButtonRunsItsScriptAndWithoutRendererClassesSaysSo) {
  const int boxes = host::MessageBoxCount();
  Run("panelOpen grass\npanelPress 7519");
  const auto scripts = host::ExecutedScripts();
  ASSERT_FALSE(scripts.empty());
  EXPECT_EQ(scripts.back().text, crn::MaterialScript());
  EXPECT_FALSE(scripts.back().quietErrors);
  EXPECT_EQ(host::MessageBoxCount(), boxes + 1);
  EXPECT_EQ(host::LastMessageBoxText(), "Select a Crinel object first (Corona or V-Ray must be installed).");
}

TEST_F(ToolsPanel, StartUpWritesTheToolbarMacroWithWindowsLineEnds) {
  const std::string macros = Path("macros");
  std::filesystem::create_directories(macros);
  ip().SetDir(host::APP_USER_MACRO_DIR, macros);
  host::BroadcastNotification(host::NOTIFY_SYSTEM_STARTUP);
  const std::string file = macros + "/Talmoria-CrinelOnSelection.mcr";
  const std::string text = fixtures::Slurp(file);
  EXPECT_EQ(text, crn::ToolbarMacroText());
  EXPECT_EQ(text.rfind("macroScript CrinelOnSelection\r\ncategory:\"Talmoria\"\r\nbuttonText:\"Crinel\"\r\n"
                       "tooltip:\"Grow Talmore Crinel on the selected objects\"\r\n", 0), 0u);
  for (const char* piece : {"\"Select the mesh to grow hair on first.\" title:\"Talmore Crinel\"",
                            "m.name + \"_Crinel\"", "h.surface = m", "superClassOf o == GeometryClass",
                            "classOf o != Crinel", "max modify mode"})
    EXPECT_NE(text.find(piece), std::string::npos) << piece;
  std::size_t lf = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') {
      ++lf;
      EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "bare line feed at " << i;
    }
  EXPECT_EQ(lf, 19u);
  ASSERT_EQ(text.back(), '\n');
  const auto scripts = host::ExecutedScripts();
  ASSERT_FALSE(scripts.empty());
  EXPECT_EQ(scripts.back().text, "try (fileIn @\"" + file + "\") catch ()");
  EXPECT_TRUE(scripts.back().quietErrors);

  // No folder: nothing is written or run.
  ip().SetDir(host::APP_USER_MACRO_DIR, "");
  std::filesystem::remove(file);
  const std::size_t ran = host::ExecutedScripts().size();
  host::BroadcastNotification(host::NOTIFY_SYSTEM_STARTUP);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(host::ExecutedScripts().size(), ran);
}

TEST(ToolsPanelCli, ScriptDrivesThePanelWithDialogAnswers) {
  fixtures::TempDir dir("crinel_toolscli");
  const std::string scene = dir.Write("grass.json", fixtures::GrassSceneJson("", ", \"dynMode\": 0"));
  const std::string cache = (dir.Path() / "g.crnc").string();
  const std::string script = dir.Write("panel.txt",
                                       "panelOpen grass\n"
                                       "panelSpin 7509 1\n"
                                       "panelPress 7504\n"
                                       "panelText 7517\n"
                                       "get grass dynMode\n"
                                       "dialogAnswer \"" + cache + "\"\n"
                                       "panelPress 7514\n"
                                       "panelText 7517\n"
                                       "panelPress 7505\n"
                                       "panelText 7506\n"
                                       "dialogAnswer \"" + cache + "\"\n"
                                       "panelPress 7515\n"
                                       "panelText 7506\n"
                                       "panelClose\n");
  // The user macro folder comes from the environment: the toolbar macro is written at start-up.
  const std::filesystem::path macros = dir.Path() / "macros";
  std::filesystem::create_directories(macros);
  ::setenv("CRINEL_MACRO_DIR", macros.c_str(), 1);
  const auto r = fixtures::RunCli(dir.Path(), "script " + scene + " " + script);
  ::unsetenv("CRINEL_MACRO_DIR");
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(fixtures::Slurp(macros / crn::kToolbarMacroFile), crn::ToolbarMacroText());
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"ok", "4", "ok", "Simulation done.", "1", "ok", "ok",
                                                    "Cache written.", "ok", "Not simulated.", "ok", "ok",
                                                    "CACHE  25 guides  frames 0-30 (from file)", "ok"}));
}

TEST(ToolsPanelCli, CtrlCStopsARangeSimulationAsEscapeDoes) {
  fixtures::TempDir dir("crinel_toolsint");
  std::string json = fixtures::GrassSceneJson("", ", \"dynMode\": 0");
  json.replace(json.find("[0, 30]"), 7, "[0, 1000000]");
  const std::string scene = dir.Write("long.json", json);
  const std::string script = dir.Write("panel.txt", "panelOpen grass\npanelPress 7504\npanelText 7517\n");
  const std::string out = (dir.Path() / "out.txt").string(), err = (dir.Path() / "err.txt").string();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string cmd = std::string("exec ") + CRINEL_CLI + " script " + scene + " " + script + " >" +
                            out + " 2>" + err;
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // A million frames take far longer than this.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << fixtures::Slurp(err);
  EXPECT_EQ(WEXITSTATUS(status), 0) << fixtures::Slurp(err);
  EXPECT_EQ(Lines(fixtures::Slurp(out)), (std::vector<std::string>{"ok", "ok", "Simulation stopped."}));
}

}  // namespace
