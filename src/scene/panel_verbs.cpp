#include "scene/panel_verbs.h"

#include <deque>
#include <iostream>
#include <optional>

#include "groom/script_ops.h"
#include "groom/tools_panel.h"
#include "host/dialog.h"
#include "host/file_dialog.h"
#include "host/keyboard.h"
#include "host/message_box.h"
#include "host/script_exec.h"
#include "scene/progress.h"

namespace crn::scene {

namespace {

// Answers for the coming file dialogs: a path, or nullopt for cancel.
std::deque<std::optional<std::string>>& Answers() {
  static std::deque<std::optional<std::string>> q;
  return q;
}

host::HWND OpenPanel() {
  host::HWND hwnd = ToolsPanelWindow();
  if (!hwnd) throw ScriptError{"no tools panel is open (panelOpen NODE first)"};
  return hwnd;
}

int ControlId(ScriptCall& c) {
  const long long id = c.Integer(0, "control id");
  host::ControlKind kind;
  if (id < 0 || id > 0xFFFF || !host::GetDlgItemKind(OpenPanel(), int(id), kind))
    throw ScriptError{"the tools panel has no control " + c.args[0].text};
  return int(id);
}

// Answers for the coming yes/no message boxes: true for yes.
std::deque<bool>& BoxAnswers() {
  static std::deque<bool> q;
  return q;
}

}  // namespace

void QueueDialogAnswer(const std::string& pathOrEmpty) {
  if (pathOrEmpty.empty()) Answers().push_back(std::nullopt);
  else Answers().push_back(pathOrEmpty);
}

void ClearDialogAnswers() {
  Answers().clear();
  BoxAnswers().clear();
}

void InstallPanelHostProviders() {
  host::SetFileDialogProvider([](bool, host::OPENFILENAME& ofn) {
    if (Answers().empty()) return false;
    const std::optional<std::string> answer = Answers().front();
    Answers().pop_front();
    if (!answer) return false;
    ofn.file = *answer;
    return true;
  });
  // Ctrl-C is this host's Escape key.
  host::SetAsyncKeyStateSource([](int vk) { return vk == int(host::VK_ESCAPE) && CancelRequested(); });
  host::SetMessageBoxSink([](const std::string& text, const std::string& caption, int) {
    std::cerr << caption << ": " << text << '\n';
  });
  // A question nobody answered in advance gets yes: the path answered to the dialog before it
  // was the user's choice.
  host::SetMessageBoxAnswerer([](const std::string&, const std::string&, int) {
    if (BoxAnswers().empty()) return host::IDYES;
    const bool yes = BoxAnswers().front();
    BoxAnswers().pop_front();
    return yes ? host::IDYES : host::IDNO;
  });
  host::SetScriptEvaluator([](const std::string& script, bool) {
    if (script == MaterialScript()) MaterialScriptWithoutRendererClasses();
    return true;
  });
}

void AddPanelVerbs(ScriptRunner& runner) {
  InstallPanelHostProviders();
  runner.AddVerb("panelOpen", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "panelOpen NODE");
    host::INode* node = c.Node(0);
    if (!HairObjectOf(node)) throw ScriptError{"node \"" + c.args[0].text + "\" is not a hair object"};
    c.ip.OpenInModifyPanel(node);
    return std::string("ok");
  });
  runner.AddVerb("panelClose", [](ScriptCall& c) {
    c.NeedArgs(0, 0, "panelClose");
    c.ip.OpenInModifyPanel(nullptr);
    return std::string("ok");
  });
  runner.AddVerb("panelSelect", [](ScriptCall& c) {
    c.NeedArgs(2, 2, "panelSelect ID INDEX");
    const int id = ControlId(c);
    const long long index = c.Integer(1, "index");
    const auto count = host::GetDlgItemList(OpenPanel(), id).size();
    if (index < 0 || index >= (long long)count || !host::SelectDlgItem(OpenPanel(), id, int(index)))
      throw ScriptError{"control " + std::to_string(id) + " has no entry " + c.args[1].text +
                        (count ? " (0.." + std::to_string(count - 1) + ")" : " (not a list)")};
    return host::GetDlgItemText(OpenPanel(), id);
  });
  runner.AddVerb("panelSpin", [](ScriptCall& c) {
    c.NeedArgs(2, 2, "panelSpin ID VALUE");
    const int id = ControlId(c);
    if (!host::SpinDlgItem(OpenPanel(), id, c.Number(1, "value")))
      throw ScriptError{"control " + std::to_string(id) + " is not a spinner"};
    // The value the spinner took (limited to its range).
    return host::GetDlgItemText(OpenPanel(), id);
  });
  runner.AddVerb("panelPress", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "panelPress ID");
    const int id = ControlId(c);
    // Long actions stop on Ctrl-C as on Escape; each press starts with the key up.
    static const bool handler = (InstallCancelHandler(), true);
    (void)handler;
    ClearCancel();
    if (!host::ClickDlgItem(OpenPanel(), id))
      throw ScriptError{"control " + std::to_string(id) + " is not a button"};
    ClearCancel();
    return std::string("ok");
  });
  runner.AddVerb("panelText", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "panelText ID");
    return host::GetDlgItemText(OpenPanel(), ControlId(c));
  });
  runner.AddVerb("boxAnswer", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "boxAnswer yes|no");
    const std::string& a = c.Word(0, "yes or no");
    if (a != "yes" && a != "no") throw ScriptError{"boxAnswer takes yes or no, got " + a};
    BoxAnswers().push_back(a == "yes");
    return std::string("ok");
  });
  runner.AddVerb("dialogAnswer", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "dialogAnswer \"PATH\" | cancel");
    const ScriptArg& a = c.args[0];
    if (a.kind == ScriptArg::Word && a.text == "cancel") QueueDialogAnswer("");
    else if (a.kind == ScriptArg::List || a.text.empty())
      throw ScriptError{"dialogAnswer takes a quoted path or cancel"};
    else QueueDialogAnswer(a.text);
    return std::string("ok");
  });
}

}  // namespace crn::scene
