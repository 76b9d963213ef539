// The host's panel services ("LWPanelServices") for the stand-in host: panels
// and controls with their attributes and typed values, list boxes that ask
// their count and name callbacks, a log of every call the module makes, and a
// script of user actions that a panel's open call plays.
//
// Give a Host the services with host.panelServices = panelHost.services().
// Panels and controls stay in memory after the module destroys them, so a
// test can look at what was built; a call on a destroyed one is recorded as a
// problem instead of being carried out.
#pragma once

#include "abi/panel.h"
#include "standin/panel_script.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace standin {

struct PanelControl;

// What the module holds as a control: the host record with the entries the
// module calls, and the way back to the host's own data.
struct ControlShell {
    ControlRecord record;
    PanelControl* control;
};

struct Panel;

struct PanelControl {
    ControlShell shell{};
    Panel* panel = nullptr;
    int index = 0; // 0-based order of addition to its panel
    std::string typeName;
    std::string label;
    ControlDescriptor descriptor{}; // as the module passed it
    intptr_t x = 0, y = 0;
    intptr_t labelWidth = 0;
    // The value, kept in the control's own kind.
    intptr_t integer = 0; // NumControl, BoolControl, ButtonControl; list box: picked row
    double number = 0.0;  // FloatControl
    double vector[3] = {0.0, 0.0, 0.0}; // FVecControl
    std::string text;                   // InfoControl
    ControlEventFunc event = nullptr;
    void* userData = nullptr;
    void* listData = nullptr; // list box: the services' user data when it was added
    int draws = 0;
    std::vector<std::string> rows; // list box: the rows asked for when it was last drawn
    int32_t valueKind = 0;         // the record kind its value travels in

    ControlRecord* record() { return &shell.record; }
};

class PanelHost;

struct Panel {
    PanelHost* host = nullptr;
    std::string title;
    bool heightSet = false;
    int32_t height = 0;
    int opens = 0;
    int openFlags = 0;
    bool destroyed = false;
    std::vector<std::unique_ptr<PanelControl>> controls;
    // The first control with this label, or null.
    PanelControl* control(const std::string& label) const;
};

class PanelHost {
  public:
    PanelHost();
    ~PanelHost();

    // The record to hand out as "LWPanelServices". Valid while this host lives.
    PanelServices* services() { return &shell_.services; }

    // --- failure injection
    bool failCreate = false; // creating a panel returns null
    int failControl = 0;     // adding a panel's Nth control (1-based) returns null; 0: none

    // --- the user: open plays script from scriptPosition up to and including
    // the next Close or Cancel; when the script runs out first, the user
    // closed the window (open returns 0).
    std::vector<PanelAction> script;
    std::size_t scriptPosition = 0;
    void setScript(std::vector<PanelAction> actions);
    // Called after each action other than a close, while the panel is open.
    std::function<void(const PanelAction&)> afterAction;
    // The user at the panel, when set: open asks it for each action instead
    // of playing the script, until it gives a close, a cancel or nothing (the
    // window closed: open returns 0). It sees the panel as the host shows it.
    std::function<std::optional<PanelAction>(Panel&)> user;
    // Called when the module destroys a panel, before the host forgets it.
    std::function<void(Panel&)> onDestroy;

    // --- what happened
    std::vector<std::unique_ptr<Panel>> panels; // every panel created, in order
    Panel* lastPanel() const { return panels.empty() ? nullptr : panels.back().get(); }
    // Every call the module made and every user action, one line each:
    //   create TITLE | add TYPE LABEL | add TYPE LABEL failed | get LABEL ATTR |
    //   set LABEL ATTR | draw LABEL MODE | panel set ATTR VALUE | open FLAGS |
    //   destroy | user ACTION
    std::vector<std::string> log;
    // False: nothing is logged. For a caller that never reads the log and
    // opens panels by the thousand.
    bool keepLog = true;
    // Calls a real host would refuse, and script actions that could not be done.
    std::vector<std::string> problems;
    // Drops the destroyed panels, the log and the problems, for a caller that
    // opens panels without end (a tool listing many key blocks) and keeps
    // nothing of them. A later call on a dropped panel counts as unknown.
    void forgetDestroyed();

    // --- layout, the host's way
    // Width of the label drawn left of a control's field: kCharWidth per
    // character plus kLabelGap. A button's label is its face, so it has none.
    static constexpr int kCharWidth = 5;
    static constexpr int kLabelGap = 8;
    static int labelWidthFor(const std::string& typeName, const std::string& label);
    // The panel as the host lays it out: every control at its x and y with its
    // label and value, inside a frame of the panel's height, under a title bar.
    static std::string svg(const Panel& panel);

    // Asks a list box's count and name callbacks for its rows (as drawing it does).
    static void askRows(PanelControl& control);

  private:
    PanelHost(const PanelHost&) = delete;
    PanelHost& operator=(const PanelHost&) = delete;

    struct ServicesShell {
        PanelServices services;
        PanelHost* host;
    };
    ServicesShell shell_{};
    // Controls of forgotten panels, kept for the next ones: a tool that
    // opens the key editor once per block would otherwise allocate a control
    // and its strings for every field of every opening.
    std::vector<std::unique_ptr<PanelControl>> spareControls_;
    static constexpr std::size_t kSpareControls = 256;

    static PanelHost* fromServices(PanelServices* services);
    static PanelHandle create(const char* title, PanelServices* services);
    static void destroy(PanelHandle panel);
    static int open(PanelHandle panel, int flags);
    static void setPanel(PanelHandle panel, int attribute, void* value);
    static ControlRecord* addControl(PanelHandle panel, const char* typeName,
                                     ControlDescriptor* descriptor, const char* label);
    static void draw(ControlRecord* control, int mode);
    static void get(ControlRecord* control, int attribute, PanelValue* value);
    static void set(ControlRecord* control, int attribute, PanelValue* value);

    // The live host's panel or control behind what the module passed, or
    // null (recorded as a problem) when there is none or it was destroyed.
    static Panel* panelOf(PanelHandle handle, const char* call);
    static PanelControl* controlOf(ControlRecord* record, const char* call);
    // The common part of get and set ("get" or "set" in call): logs the call,
    // refuses a record not of the attribute's kind, and carries out the call
    // for every attribute but the value. Returns the control when the value
    // is left to do, else null.
    static PanelControl* valueCall(ControlRecord* record, int attribute, PanelValue* value,
                                   const char* call);
    void perform(Panel& panel, const PanelAction& action);
    // The panel's list with the action's row picked; nullptr (the problem
    // noted) when there is none or no such row.
    PanelControl* pickRow(Panel& panel, const PanelAction& action, const std::string& what);
    // Types the action's numbers into control; false (the problem noted)
    // when the control takes no such numbers.
    bool typeInto(PanelControl& control, const PanelAction& action, const std::string& what);
    // Logs the line that line() spells out, and spells it out only when the
    // log is kept: a tool opens thousands of panels.
    template <typename Line> void note(const Line& line) {
        if (keepLog) {
            log.emplace_back(line());
        }
    }
};

} // namespace standin
